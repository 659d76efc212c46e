#pragma once

// What playing leaves in the allocator. GStreamer decodes on threads of its
// own, each with a glibc malloc arena; with glibc's sliding thresholds a
// 1080p film's picture buffers (megabytes each) go into those arenas rather
// than into maps of their own, and after the players are gone the freed
// arenas stayed resident: ~60 MB idle became ~300 MB and grew with each film.
// So from the first player on the thresholds are fixed at glibc's initial
// values (large buffers are mapped and unmapped on their own), and when the
// last player is gone the freed memory is handed back to the system, on a
// pool thread. Every QtMediaPlayer counts itself here for its whole life.
// A surface a player drew into (the video widget with its drawing context,
// textures and last picture) usually goes after the player: its memory is
// handed back again when it goes, if no player is left by then.
class QObject;

namespace PlaybackMemory {

void playerCreated();
void playerDestroyed();
// Once per surface; the surface may outlive every player.
void surfaceUsed(QObject *surface);
int livePlayers();
// How many times freed memory was handed back (once per last player gone and
// per used surface gone after it, counted when done).
int releases();

} // namespace PlaybackMemory
