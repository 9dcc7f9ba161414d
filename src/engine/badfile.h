// The bad-record file BAD.CSV: the delimited source lines that are not
// records, for the user to mend and import later.
//
// Contract.  `WriteBadRecord` writes one rejected line, character for
// character as the source file has it (tabs and control characters kept, no
// line-end characters of the source), followed by CR LF.  The file is UTF-8:
// a UTF-8 or ASCII source's lines come out byte for byte; a Windows-1252 or
// UTF-16 source's lines come out as the same characters in UTF-8 (without a
// byte-order mark), which is what the reader hands on.  The first line written in a
// run opens the BadFile slot and creates the file afresh (an older file of
// the same name is emptied); a run without bad lines leaves an older file as
// it was.  Each line reaches the operating system in one write, so the file
// on disk is complete after every call.
//
// Before each line the free space of the file's folder is measured: below
// 100000 bytes the line is not written and a plain box says so.  When the
// file cannot be created, an error box gives the system's reason, the slot is
// marked failed and the run goes on; later bad lines are then dropped
// silently (the slot layer's rule for failed slots).
//
// Every line not written is lost: `WriteBadRecord` returns why (empty when
// the line was written), so the caller can count written and lost lines
// apart and tell the user why lines were lost.
#pragma once

#include <string>
#include <string_view>

namespace vesper {

struct RunState;

extern const char* const kLowDiskBadFileMessage;
extern const char* const kLowDiskBadFileReason;

// Writes one rejected line; returns the empty string when it was written,
// else the reason it was not.
std::string WriteBadRecord(RunState& state, std::string_view line);

// True when the file at `path` is shorter than 10 bytes, cannot be found or
// is no plain file.
bool BadFileTooShort(const std::string& path);

}  // namespace vesper
