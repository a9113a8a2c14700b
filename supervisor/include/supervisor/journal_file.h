// Writing to the play journal file (its lines: journal_format.h).
//
// Every writer appends: each line goes out in one write() on a descriptor
// opened with O_APPEND, so lines from several supervisors never interleave
// and a reader sees a line whole or (while it is written, or after a crash)
// as a last line without its "\n", which it skips.
//
// A compaction rewrites the journal into a new file renamed over the old
// one. So that no line appended meanwhile is lost, appenders hold a shared
// flock() on the journal while they write and the compaction holds an
// exclusive one from its first read to the rename; and whoever gets a lock
// checks that the file it locked is still the one at the journal's path,
// and opens the new one when a compaction replaced it.
#pragma once

#include <string>

namespace supervisor {

enum class JournalLock { Shared, Exclusive };

// Opens path with the open() flags given (O_CLOEXEC is added; with O_CREAT
// the file is made readable and writable by its owner only) and locks it.
// Returns the descriptor, or -1 with *error set. When the lock is still
// taken after a few seconds (a compaction that stopped half-way), a shared
// lock returns the descriptor unlocked (better a line in a file that may be
// replaced than no line at all) and an exclusive one fails: a compaction
// never rewrites a journal that someone may be appending to.
int openLockedJournal(const std::string& path, int flags, JournalLock lock, std::string* error);

// Appends one whole line ("\n" included) to the journal at path, creating
// the file and its missing folders (readable by their owner only). When the
// journal ends with a line that a crash cut short, a "\n" in the same write
// keeps the new line apart from it. Returns false with *error set (the
// system's reason) when it cannot.
bool appendJournalLine(const std::string& path, const std::string& line, std::string* error);

} // namespace supervisor
