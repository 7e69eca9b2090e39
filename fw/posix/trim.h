#pragma once
// Working-set trimming on Linux: the own process gives its free heap back to the system,
// and the processes it started (the browser engine's web and network processes among them)
// have their resident pages reclaimed where the kernel allows it. Safe from any thread.
#include <optional>
#include <string>
#include <vector>

namespace fw::posix {

// The processes whose parent chain reaches `root` (root itself not included), read from a
// proc file system mounted at `procRoot`. nullopt when the process list cannot be read.
std::optional<std::vector<int>> DescendantProcesses(int root, const std::string& procRoot = "/proc");

// Asks the kernel to reclaim the resident pages of every mapping of process `pid`
// (process_madvise with MADV_PAGEOUT). False when the process cannot be reached or the
// kernel refuses for all of its mappings.
bool PageOutProcess(int pid, const std::string& procRoot = "/proc");

struct TrimResult {
    bool listed = false;  // the process list could be read
    int children = 0;     // descendants found
    int trimmed = 0;      // descendants the kernel let us trim
};

// malloc_trim(0) on the own process, then PageOutProcess on every descendant; the ones the
// kernel refuses are passed over.
TrimResult TrimProcessTree(const std::string& procRoot = "/proc");

}  // namespace fw::posix
