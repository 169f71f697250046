// The W32NDIS5 protocol driver service: registered as an automatic-start
// kernel driver, its image path kept pointing at a file that exists, and
// its access list set so that every user may control it and only
// administrators and the system may change it.
#pragma once

// The install job's step: EnsureProtocolService, then on Windows 2000 / XP
// the image path repair and OpenProtocolServiceAccess. Nothing is changed
// when the service database stays locked by another program for 30
// seconds; the install job goes on either way.
void SetupProtocolDriver();

// Creates the service when it is missing, and forces an existing one to
// automatic start ("Start" = 2 in its key), while holding the service
// database lock. False only when the lock could not be had within 30
// seconds, and then nothing was changed; true otherwise (also when the
// machine has no service manager, as on Windows 98 SE / Me).
bool EnsureProtocolService();

// Gives the service its access list: every signed-in user may query,
// start, stop and interrogate it; administrators and the system may also
// change its configuration, its access list and its owner, and delete it.
void OpenProtocolServiceAccess();
