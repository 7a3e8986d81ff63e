// The one buffered input reader of the library (InputReader). Every reader of the library takes
// its bytes through one of these: block reads from a stream (plain file or decompression pipe
// alike), lines handed out in place without copying, a push-back of one line, a line counter for
// messages, and the read-ahead of regular files by a second thread.
#ifndef QOR_READER_H
#define QOR_READER_H

#include <cstddef>
#include <cstdio>
#include <string>

// The longest line reader_line hands out unless the reader says otherwise (max_line): far above
// any line of a real file, and low enough that an endless line (a device or a file without line
// ends) ends the run before it takes the memory. 16 MiB.
constexpr size_t READER_MAX_LINE = size_t(1) << 24;

struct InputReader {
    FILE *stream = nullptr;         // not owned: the caller closes it (close_read)
    const char *name = nullptr;     // not owned: the file name used in messages
    unsigned char *data = nullptr;  // owned block (see read_ahead); data[end] is always a NUL byte
    size_t capacity = 0;            // bytes allocated for data (the NUL not counted)
    size_t pos = 0;                 // next byte to hand out
    size_t end = 0;                 // bytes valid in data
    bool eof = false;               // the stream has no more bytes to give
    long line_number = 0;           // lines handed out by reader_line so far (1 = the first)
    // The line last handed out by reader_line, for reader_unget_line.
    size_t last_start = 0;   // its offset in data
    size_t last_length = 0;  // its length without the line end
    bool last_had_newline = false;
    bool can_unget = false;
    int before_data = '\n';     // the stream byte before data[0] ('\n' at the start of the stream)
    const char *what = "file";  // what the stream is, in the read-error message
    size_t block = 0;           // bytes asked of the stream at a time (0: 64 kB)
    bool by_line = false;  // a prompt's answers (a terminal): a fill waits for one line at most
    // Set before the first fill: a regular file is read ahead by a second thread, a block or two
    // beyond the one being handed out (reading the descriptor, not the stream). The stream must
    // then be left alone until reader_free, which stops the thread and sets the stream's position
    // to the end of the bytes taken in, as a plain fill leaves it. data then points into a
    // buffer of the read-ahead's, which may change at every fill. Where the read-ahead's state,
    // its buffers or its thread cannot be had (no memory for them), the first fill clears it and
    // the reader reads without it.
    bool read_ahead = false;
    struct ReaderAhead *ahead = nullptr;  // owned: the read-ahead of a started read_ahead reader
    // The longest line (without its "\n") that reader_line hands out; a longer one ends the run
    // (reader_line_too_long). A format with a bound of its own sets it after reader_init.
    size_t max_line = READER_MAX_LINE;
    // Residue lines of sequence files: a line past max_line is taken whole, however long, while
    // its bytes are text (printable characters, tabs and carriage returns); a longer line
    // holding other bytes (a device of zeros, a binary file) is still refused.
    bool long_text_lines = false;
};

// A reader on a stream for the time of a scope: reader_init on construction; reader_free and
// then close_read of the stream (when owns_stream is set) on leaving it, also when a fatal error
// is thrown to a test harness.
struct ReaderScope {
    InputReader in;
    FILE *fp;
    bool owns_stream;
    ReaderScope(FILE *stream, const char *name, bool own_stream = true);
    ~ReaderScope();
    ReaderScope(const ReaderScope &) = delete;
    ReaderScope &operator=(const ReaderScope &) = delete;
};

// Starts reading stream (positioned where reading begins) under the given name. The reader does
// not own the stream or the name; release it with reader_free before closing the stream.
void reader_init(InputReader *r, FILE *stream, const char *name);
// Releases the block and stops any read-ahead; the stream is left open. The reader may be
// initialised again afterwards.
void reader_free(InputReader *r);
// Makes at least want bytes available from pos (fewer at the end of the stream), moving the
// unread bytes (and the line that may be pushed back) to the start of the block and growing it
// as needed; pos and the pushed-back line follow the move, pointers into data and offsets
// taken before it do not. Returns the bytes available (end - pos). A read cut short by a signal
// is made again (read_input). A read error ends the run: "Could not read %s %s: %s" (what, name,
// the reason); a block that cannot be grown: "out of memory reallocating %zu bytes".
size_t reader_fill(InputReader *r, size_t want);
// reader_getc when the block is used up: refills it first.
int reader_getc_refill(InputReader *r);
// The next byte (0-255), or EOF at the end of the stream. Does not count lines.
inline int reader_getc(InputReader *r) {
    return r->pos < r->end ? r->data[r->pos++] : reader_getc_refill(r);
}
// Hands back the byte just returned by reader_getc.
void reader_ungetc(InputReader *r);
// The next line, in place: *line points at its first byte, *length receives its length without
// the line end ("\n"; a "\r" before it is kept as part of the line) and line[*length] is a NUL
// byte. The text stays valid until the next call on the reader. A last line without a newline
// is handed out as a line. Returns false at the end of the stream with nothing read. Counts the
// line in line_number. A line longer than max_line ends the run (reader_line_too_long) as soon as
// the bytes past the bound are in, unless long_text_lines takes it.
bool reader_line(InputReader *r, char **line, size_t *length);
// Ends the run for the line being read (line_number + 1), longer than max_line: "Line %ld of %s
// is longer than %zu characters" (the line number, the name through shown_text, max_line).
[[noreturn]] void reader_line_too_long(const InputReader *r);
// Pushes back the line last handed out by reader_line, so the next call returns it again (one
// line only; line_number goes back by one).
void reader_unget_line(InputReader *r);
// Copies up to n bytes into dst; returns the number copied (fewer only at the end of the stream).
size_t reader_read(InputReader *r, void *dst, size_t n);
// True when no byte is left.
bool reader_at_end(InputReader *r);
// The byte of the stream just before data[at] (at <= end): '\n' before the first byte.
int reader_byte_before(const InputReader *r, size_t at);
// As reader_line, but the line end ("\n", when present) is handed out as part of the line and
// counted in *length; line[*length] is then not a NUL byte.
bool reader_line_with_end(InputReader *r, char **line, size_t *length);
// As reader_line_with_end, but the line is copied into line (NUL bytes kept). Returns false, with
// line emptied, at the end of the stream.
bool reader_line_copy(InputReader *r, std::string &line);

#endif
