#include "cleanup/solvane.h"

// Keeps its place in the run sequence but does not act yet.
void RemoveSolvaneApplication() {}
