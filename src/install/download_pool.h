// Several downloads at once (the unattended mode), and the install that runs beside them.
//
// What a one-at-a-time run shows stays as it was: each record's log lines are kept while its
// transfer runs and written, whole, once it and every record before it are settled, in the
// list's order; the install takes the archives in that order too, so the files on disk and the
// summary are the same whichever transfer ends first.
#pragma once
#include <cstddef>

#include "core/state.h"

namespace qvk {

constexpr int kMaxConnections = 8;
constexpr int kDefaultConnections = 4;
// A server gets no more than this many connections of ours at once, whatever the number asked.
constexpr int kConnectionsPerServer = 4;

// By the main thread, before the download worker of a run with more than one connection starts:
// the install thread may then wait for it at once.
void PrepareDownloadsAtOnce();

// The download worker for job.connections above 1: up to that many transfers, each on a worker
// thread and connection of its own, with the retry rule of the one-at-a-time loop.
void DownloadAtOnce(DownloadJob* job);

// For the install thread: waits until the record at `index` of the list and every one before it
// are settled (fetched or given up), or until all are. False once the orderly end has begun.
bool AwaitDownloadsUpTo(std::size_t index);

// An archive's installation is over (whatever became of it). While downloads and installs run
// side by side the total bar counts both: records settled in its first half, archives handled
// of those still expected in its second.
void NoteArchiveInstalled();

}  // namespace qvk
