// Removal of the Solvane 802.11a client application.
#pragma once

void RemoveSolvaneApplication();
