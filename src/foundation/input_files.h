// Input files: opening with transparent decompression (".gz", ".Z"), pipes and FIFOs read once
// into a temporary copy, streams made rewindable on request, library data files searched through
// an environment variable, closing that checks the decompressor's exit status, and the reads and
// opens of inputs, made again when a signal cuts them short.
#ifndef QOR_INPUT_FILES_H
#define QOR_INPUT_FILES_H

#include <cstddef>
#include <cstdio>
#include <string>

// ---------------------------------------------------------------------------------------------
// Input files
// ---------------------------------------------------------------------------------------------

enum {
    OPEN_FATAL = 1,   // a file that cannot be opened ends the run
    OPEN_QUIET = 2,   // open_read_env only: no warning when not found in the search directory
    OPEN_REWIND = 4,  // the stream must be seekable: a decompressed stream is copied to a temp file
};

// Opens an input file; names ending in ".gz" / ".Z" are decompressed, and a missing plain name is
// tried with ".gz" then ".Z" appended. A pipe or FIFO is read once into a temporary file, kept
// for the run, and every open of it (by any of its names) gives a stream at the start of that
// copy. Returns null when nothing opens (fatal with OPEN_FATAL: "Couldn't open file %s: %s\n").
// A temporary copy that cannot be made or written (a full disk) is always fatal: "Could not copy
// %s to a temporary file: %s" (the name through shown_text, the reason).
FILE *open_read(const char *name, int flags);
// An anonymous temporary file (owned by the caller; gone once closed), open for reading and
// writing, in the folder TMPDIR names when it is set and not empty, else /tmp: made nameless
// (O_TMPFILE), or, where the file system cannot, named and unlinked at once. Null, with errno
// set, when the folder takes no file. The temporary copies of open_read are made here.
FILE *anonymous_tempfile();
// The most bytes copied into a temporary file to make a stream rewindable (OPEN_REWIND: a pipe,
// a device or a decompressed file); a longer stream does not open (errno EFBIG). 1 GB.
extern size_t rewind_copy_limit;
// Opens a library data file: the name itself, else "<dir>[/<subdir>]/<name>" where dir is the
// value of the environment variable var when set, else default_dir. log (optional) receives the
// path used ("File Not Found (%s)" when none). Returns null when not found, after a warning
// unless OPEN_QUIET. Fatal: "No file name given.\n" (null or empty name) and "Couldn't open file
// %s: %s\n" with OPEN_FATAL; "Library path too long (more than %d characters): %.60s...".
FILE *open_read_env(const char *name, const char *var, const char *default_dir, const char *subdir,
                    FILE *log, int flags);
// Closes a stream from open_read / open_read_env; a decompression pipe is waited for and its
// exit status tested. Null is ignored. Fatal: "close_read: file not open", "pclose failed: %s",
// "gzcat terminated on an error: %d" (a decompressor that failed after giving all its output).
void close_read(FILE *fp);
// The whole of the file path, read as bytes, in *text; false when it cannot be opened or read.
// Not fatal.
bool read_file(const std::string &path, std::string *text);

// ---------------------------------------------------------------------------------------------
// Reads and opens cut short by a signal
// ---------------------------------------------------------------------------------------------
// A signal whose handler was in place before the run (a profiler's, kept by
// install_interrupt_handlers) and was installed without SA_RESTART makes a slow read or open (a
// pipe, a FIFO waiting for its writer, a terminal) fail with EINTR. Every read and open of an
// input goes through these two, which make such a call again.

// Reads up to n bytes of fp into buf, as fread does, until n bytes are in, the stream ends or a
// read fails for another reason than EINTR. Returns the bytes read: fewer than n only at the end
// of the stream or after a read error, which leaves ferror(fp) set and errno the reason (never 0
// or EINTR). Not fatal.
size_t read_input(FILE *fp, void *buf, size_t n);
// Opens path for reading, as fopen(path, "r") does, until the open succeeds or fails for another
// reason than EINTR. Returns the stream, or null with errno the reason. Not fatal.
FILE *open_input(const char *path);

#endif
