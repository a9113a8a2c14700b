// Removing the game runtime's left-over shared-memory files: files named
// with the profile's prefix ("mirel_memory_*") in /dev/shm that no running process maps and that have
// not been modified for at least 60 seconds.
#pragma once

struct GameProfile;

// Removes the profile's stale shared-memory files.
void removeStaleSharedMemory(const GameProfile& profile);
