// Output files: opening by run name and suffix (a suffix beginning with '>' names standard output
// or standard error), written to a temporary file that replaces the file only once complete, the
// checked flush and close, the comment header with its banner block, and run information for it
// (times, host, user, working directory, texts of the mode codes).
#ifndef QOR_OUTPUT_FILES_H
#define QOR_OUTPUT_FILES_H

#include <cstdio>
#include <string>

// ---------------------------------------------------------------------------------------------
// Output files and the comment header
// ---------------------------------------------------------------------------------------------

// A stream for writing run_name followed by suffix (run_name alone for a null suffix). A suffix
// beginning with '>' names standard output, or standard error when its second character is '&':
// such a stream belongs to the process and must not be closed by the caller (use
// close_outputfile, which knows). A regular file (or a new one) is not touched until the stream
// is closed: the stream writes a temporary file ".<file name>.XXXXXX" in the folder of the file
// (of the file a symbolic link leads to; the file name cut short where the whole would pass the
// longest name the folder takes; a file name itself past that fails here, ENAMETOOLONG), not
// inherited by programs the run starts, which close_outputfile puts in its place; it gets the
// permission bits of the file it replaces (a new file: 0666 less the umask). A stream that is not
// a regular file (a device, a pipe), or whose folder takes no new file, or whose owner and group
// a new file cannot be given, writes to the file directly; a temporary that cannot be made for
// any other reason (a full disk, no inode, a quota, no descriptor left) fails the open, the old
// file as it was. Temporaries still on disk when the process ends (a fatal error), or when a
// signal ends it (see interrupts.h), are removed. Fatal:
// "(open_outputfile):  Could not open file %s" (the file itself cannot be made),
// "(open_outputfile):  Could not open file %s: %s" (no temporary, with the system's reason),
// "(open_outputfile):  Output file name longer than %d characters: %.60s...".
FILE *open_outputfile(const char *run_name, const char *suffix);
// As open_outputfile for a whole file name, without its messages: null, with errno set, when the
// file cannot be made. Close it with close_output_path (or close_outputfile).
FILE *open_output_path(const char *path);
// As open_output_path, but null (nothing opened or made) where the file would be written
// directly (*direct set) or no temporary can be made (*direct false, errno set): for a program
// run for it that names its output itself (output_temporary), the stream left unwritten and
// closed with close_output_path or discard_outputfile.
FILE *open_output_temporary(const char *path, bool *direct);
// The path of the temporary file that an output stream of open_outputfile, open_output_path or
// open_output_temporary writes (a copy, owned by the caller); empty when the stream writes its
// file directly or is not such a stream. The file itself is there until the stream is closed.
std::string output_temporary(FILE *fp);
// From here on, every byte that the output stream fp (of open_outputfile, open_output_path or
// open_output_temporary; any other is ignored) writes to its file is appended to *copy as well,
// which must outlive the stream: the text as written, for a run that needs it again without
// reading back a file that may be a pipe or a device.
void copy_written_text(FILE *fp, std::string *copy);
// Abandons one output stream (null is ignored): it is closed and its temporary removed, the file
// left as it was (a file written directly is left as it stands).
void discard_outputfile(FILE *fp);
// As open_outputfile, but a null or empty name gives null.
FILE *open_output_or_null(const char *name, const char *suffix);
// Closes an output stream unless it is standard output or standard error (those are flushed).
// Every write is checked (the stream's error flag, the flush and the close): when one failed
// (the first error met is the one reported), the temporary is removed and the file left as it was
// (a file written directly is removed), every output held by hold_outputfile is discarded, and the
// run ends: "Could not write %s: %s" (the file name, or "standard output", and the system's
// reason). Otherwise the new file takes the place of the old one (a failure to rename ends the run
// with the same message).
void close_outputfile(FILE *fp);
// As close_outputfile for a stream of open_output_path, without the message: 0 when the file
// was written and put in place, EOF (errno set) when not; null gives 0.
int close_output_path(FILE *fp);
// For a run whose several files stand or fall together: checks and closes the stream as
// close_outputfile does (same failure), but the complete file replaces the old one only at
// commit_outputfiles.
void hold_outputfile(FILE *fp);
// Puts every held output in the place of its file. Fatal: "Could not write %s: %s" when one
// cannot be renamed (the held outputs not yet in place are discarded); when others were already
// put in place, the set is left mixed and the message ends " (already replaced: %s)", naming them.
void commit_outputfiles();
// Abandons every output in progress (for callers that go on after a fatal error thrown under
// error_throws): each recorded stream still open is closed (the caller must not use it again) and
// every temporary, open or held, is removed; the files stay as they were.
void discard_outputfiles();
// Flushes an output stream (null is ignored); a write to it that failed ends the run with
// "Could not write %s: %s" as close_outputfile does, without removing a file written directly
// (a temporary is removed when the process ends, the file it was to replace kept).
void flush_outputfile(FILE *fp);
// Makes the exit of the process flush and check standard output (once, whatever the number of
// calls): a failed write then ends it with "Error: Could not write standard output: %s" on
// standard error and status 1, the reason being the first error a write met (standard output
// writes descriptor 1 through a stream of its own from here, as output files do). Called at
// start-up, before anything is written to standard output.
void check_stdout_on_exit();
// Opens the output as open_outputfile does (same fatal messages) and writes the comment header
// (banner block, run name, host, time, user and working directory). The caller closes the stream.
FILE *prepare_statfile(const char *run_name, const char *banner, const char *suffix);
// Writes the closing CPU-time and finishing-time comment lines.
void stat_print_time(FILE *fp);
// Writes the banner line and the fixed block of notice and citation lines, each beginning with
// the comment character c, then a rule line.
void print_banner_block(FILE *fp, const char *banner, char c);

// ---------------------------------------------------------------------------------------------
// Run information
// ---------------------------------------------------------------------------------------------

// Current local date and time, 24-character calendar form, no newline (static buffer).
const char *get_time();
// "user %3d:%2d:%2d      system %3d:%2d:%2d" of the process (static buffer).
const char *cpu_time();
// Formats a CPU-time text from user and system seconds (as cpu_time does).
std::string format_cpu_time(long user_seconds, long system_seconds);
// Wall-clock seconds since the epoch, microseconds as the fraction.
double get_real_time();
// Host name (at most 199 characters, static buffer).
const char *get_host_name();
// Login name of the effective user (at most 199 characters, static buffer), from the user
// database, looked up once in a child process (in this one where the child cannot be made for
// another reason than want of memory, a limit on processes); "uid<number>" when it cannot be had
// (no such user, no memory for a child, or the look-up failed, as the C library's does when memory
// runs out).
const char *get_user_name();
// The working directory, however long; fallback when it cannot be found (or is longer than 1 MB).
std::string current_directory(const char *fallback);

// Static texts of the codes: scoring mode 0-3 ("global", "semilocal", "local", "domain"), null
// model 0-5 ("raw", "simple", "complex", "users", "reverse", "scaled"), both "unknown" for any
// other code; dynamic-programming style 1, 2, 4, 5 ("viterbi", "posdecode", "posdecod_align",
// "posdecod_align_ztrans"), "EM" for any other.
const char *get_scoring_mode_msg(int code);
const char *get_null_model_msg(int code);
const char *get_dp_style_msg(int code);

#endif
