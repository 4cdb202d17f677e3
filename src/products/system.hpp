#pragma once

// The operating system calls that products need and the standard library
// does not offer: exclusive creation, positioned writes, a flush to the
// storage device, a move that replaces its target in one step, and the
// removal of unfinished files when the process is interrupted. One file
// implements them for POSIX, one for Windows.

#include <cstddef>
#include <cstdint>
#include <string>

using FileHandle = std::intptr_t;
constexpr FileHandle noFile = -1;

// Whether a product may be written under name: true when nothing is there
// or an existing file can be opened for writing; false for a directory, a
// read-only file, or a name that cannot be looked at.
bool mayReplaceFile(const std::string& name);

// Creates name as a new, empty file, failing if anything has that name
// already (then taken is true). Returns noFile on failure.
FileHandle createNewFile(const std::string& name, bool& taken);

// Gives file the permissions of the existing file model, if there is one,
// so a replaced file keeps them. Best effort: nothing is reported.
void copyPermissions(FileHandle file, const std::string& model);

// Writes all size bytes at offset; false after a failed or short write.
bool writeFileAt(FileHandle file, const char* data, std::size_t size, std::uint64_t offset);

// Flushes the file's data to the storage device.
bool syncFile(FileHandle file);

bool closeFile(FileHandle file);

// Moves from onto to, replacing an existing file of that name in one step.
bool replaceFile(const std::string& from, const std::string& to);

bool removeFile(const std::string& name);

unsigned long currentProcessId();

// Unfinished files that an interrupt (SIGINT, SIGTERM and SIGHUP; on
// Windows Ctrl-C, Ctrl-Break and closing the console) removes before the
// process ends the default way. Interrupts are held back between
// holdInterrupts and releaseInterrupts, so a file is never created without
// being listed, nor moved into place while still listed. The handlers are
// installed with the first call; signals that were ignored stay ignored.
void holdInterrupts();
void releaseInterrupts();

// Lists a file for removal on interrupt; returns its slot, or -1 when the
// list is full or the name too long. Call with interrupts held.
int listUnfinished(const std::string& name);

// Takes a file off the list. Call with interrupts held.
void unlistUnfinished(int slot);

// Calls remove with the name of every listed file; safe in a signal
// handler when remove is.
void removeUnfinished(void (*remove)(const char* name));
