// The buffered input reader: block reads, lines in place, push-back, and the read-ahead thread
// of regular files.
#include "foundation/reader.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/input_files.h"
#include "foundation/interrupts.h"

// ---------------------------------------------------------------------------------------------
// The buffered input reader
// ---------------------------------------------------------------------------------------------

static const size_t READER_BLOCK = 1 << 16;
// The stack of a read-ahead thread, which needs little: far less address space than the default
// (8 MB and more), which counts against a run's memory limit (ulimit -v).
static const size_t READ_AHEAD_STACK = size_t(256) << 10;

// Ends the run for a read of the reader's stream that failed with err.
[[noreturn]] static void read_failed(const InputReader *r, int err) {
    error("Could not read %s %s: %s", r->what, shown_text(r->name).c_str(), std::strerror(err));
}

// Puts back the newline of the line last handed out by reader_line (replaced there by the NUL
// that ends the line), so that every byte behind pos is again the byte of the stream.
static void restore_last_newline(InputReader *r) {
    if (r->can_unget && r->last_had_newline) r->data[r->last_start + r->last_length] = '\n';
}

// The read-ahead of a regular file: a second thread reads the blocks that follow the bytes taken
// in, with pread on the descriptor (the stream and its buffer are not touched), into two slots
// that the reader empties in turn. Each slot reads behind a head room of one block: the reader
// puts the bytes it keeps in front of the new ones there and takes the slot's buffer as its own,
// handing its old buffer to the slot, so that the new bytes are not copied. The thread never ends
// the run: a read error is kept with the slot and reported once the bytes before it are taken.
// Nor does it allocate: every buffer is made on the run's thread.
struct ReaderAhead {
    struct Slot {
        unsigned char *buf = nullptr;  // owned; cap bytes, at least head + size + 1
        size_t cap = 0;
        size_t len = 0;     // bytes read, at buf + head
        size_t pos = 0;     // of those, bytes already taken by the reader
        int err = 0;        // errno of a read that failed after len bytes
        bool full = false;  // read and not yet emptied
        bool last = false;  // the end of the file (or an error) follows its bytes
    };
    int fd = -1;
    off_t next = 0;                // file offset of the next block the thread reads
    off_t taken = 0;               // file offset just past the bytes taken by the reader
    size_t size = 0;               // bytes per block
    size_t head = 0;               // head room of a slot, before the bytes read
    unsigned char *own = nullptr;  // the allocation the reader's data lie in (owned)
    size_t own_cap = 0;
    Slot slots[2];
    int take = 0;  // the slot the reader empties next
    int fill = 0;  // the slot the thread fills next
    bool stop = false, done = false;
    std::mutex lock;
    std::condition_variable changed;
    pthread_t worker;

    ~ReaderAhead() {
        for (Slot &s : slots) std::free(s.buf);
        std::free(own);
    }
    void run() {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [&] { return stop || (!done && !slots[fill].full); });
            if (stop) return;
            Slot &s = slots[fill];
            off_t at = next;
            held.unlock();
            unsigned char *to = s.buf + head;
            size_t got = 0;
            int err = 0;
            while (got < size) {
                ssize_t n = pread(fd, to + got, size - got, at + static_cast<off_t>(got));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) err = errno;
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            held.lock();
            s.len = got;
            s.pos = 0;
            s.err = err;
            s.last = got < size;
            s.full = true;
            next = at + static_cast<off_t>(got);
            if (s.last) done = true;
            fill ^= 1;
            changed.notify_all();
        }
    }
};

static void *read_ahead_thread(void *ahead) {
    static_cast<ReaderAhead *>(ahead)->run();
    return nullptr;
}

// Starts the read-ahead of a reader whose stream is a regular file; false (nothing started) for
// any other stream, or when its buffers or its thread cannot be had (the reader then reads
// without it, in less memory). The reader's block, if any, becomes the read-ahead's.
static bool start_read_ahead(InputReader *r, size_t block) {
    if (!r->stream || r->by_line) return false;
    int fd = fileno(r->stream);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    off_t at = ftello(r->stream);
    if (at < 0) return false;
    std::unique_ptr<ReaderAhead> a(new (std::nothrow) ReaderAhead());
    if (!a) return false;
    a->fd = fd;
    a->next = a->taken = at;
    a->size = a->head = block;
    for (auto &s : a->slots) {
        s.cap = 2 * block + 1;
        s.buf = static_cast<unsigned char *>(std::calloc(1, s.cap));
        if (!s.buf) return false;
    }
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setstacksize(&attr, READ_AHEAD_STACK);
    int started;
    {
        // The thread starts with the signals blocked: it leaves them to the run's own thread,
        // whose records they clean.
        InterruptHold hold;
        started = pthread_create(&a->worker, &attr, read_ahead_thread, a.get());
    }
    pthread_attr_destroy(&attr);
    if (started != 0) return false;
    a->own = r->data;
    a->own_cap = r->data ? r->capacity + 1 : 0;
    r->ahead = a.release();
    return true;
}

// Stops the read-ahead, releases its buffers (the reader's block with them) and leaves the stream
// just past the bytes the reader took in.
static void stop_read_ahead(InputReader *r) {
    ReaderAhead *a = r->ahead;
    if (!a) return;
    {
        std::lock_guard<std::mutex> held(a->lock);
        a->stop = true;
    }
    a->changed.notify_all();
    pthread_join(a->worker, nullptr);
    if (r->stream) fseeko(r->stream, a->taken, SEEK_SET);
    delete a;
    r->ahead = nullptr;
    r->data = nullptr;
}

// reader_fill from the read-ahead.
static size_t fill_from_ahead(InputReader *r, size_t want) {
    ReaderAhead *a = r->ahead;
    while (r->end - r->pos < want && !r->eof) {
        ReaderAhead::Slot &s = a->slots[a->take];
        {
            std::unique_lock<std::mutex> held(a->lock);
            a->changed.wait(held, [&] { return s.full; });
        }
        // A full slot is the reader's until it is handed back. Keep the bytes not yet handed
        // out, and the line that may be pushed back.
        size_t base = r->can_unget && r->last_start < r->pos ? r->last_start : r->pos;
        size_t kept = r->end - base;
        size_t fresh = s.len - s.pos;
        const bool swap =
            s.pos == 0 && fresh > 0 && kept <= a->head && a->own_cap >= a->head + a->size + 1;
        if (swap || base > 0 || r->data != a->own) restore_last_newline(r);
        if (base > 0) r->before_data = r->data[base - 1];
        if (swap) {
            // The kept bytes go in front of the slot's, and the buffers change hands.
            unsigned char *data = s.buf + a->head - kept;
            if (kept > 0) std::memcpy(data, r->data + base, kept);
            std::swap(a->own, s.buf);
            std::swap(a->own_cap, s.cap);
            r->data = data;
            r->end = kept + fresh;
            r->capacity = a->own_cap - 1 - (a->head - kept);
            s.pos = s.len;
        } else {
            // The kept bytes move to the start of the reader's allocation, which grows as
            // needed, and the slot's bytes are copied after them.
            if (kept > 0 && r->data + base != a->own) std::memmove(a->own, r->data + base, kept);
            size_t need = kept + (want > a->size ? want : a->size) + 1;
            if (a->own_cap < need) {
                size_t cap =
                    a->own_cap > a->head + a->size + 1 ? a->own_cap : a->head + a->size + 1;
                while (cap < need) cap *= 2;
                a->own = static_cast<unsigned char *>(mem_realloc(a->own, cap));
                a->own_cap = cap;
            }
            r->data = a->own;
            r->end = kept;
            r->capacity = a->own_cap - 1;
            size_t n = fresh < r->capacity - r->end ? fresh : r->capacity - r->end;
            if (n > 0) std::memcpy(r->data + r->end, s.buf + a->head + s.pos, n);
            r->end += n;
            s.pos += n;
            fresh = n;
        }
        r->pos -= base;
        if (r->can_unget) r->last_start -= base;
        a->taken += static_cast<off_t>(fresh);
        if (s.pos < s.len) continue;
        if (s.last) {
            r->eof = true;
            if (s.err) read_failed(r, s.err);
            break;
        }
        {
            std::lock_guard<std::mutex> held(a->lock);
            s.full = false;
            a->take ^= 1;
        }
        a->changed.notify_all();
    }
    r->data[r->end] = '\0';
    return r->end - r->pos;
}

ReaderScope::ReaderScope(FILE *stream, const char *name, bool own_stream)
    : fp(stream), owns_stream(own_stream) {
    reader_init(&in, stream, name);
}

ReaderScope::~ReaderScope() {
    reader_free(&in);
    if (owns_stream) close_read(fp);
}

void reader_init(InputReader *r, FILE *stream, const char *name) {
    *r = InputReader();
    r->stream = stream;
    r->name = name;
}

void reader_free(InputReader *r) {
    stop_read_ahead(r);  // releases the block of a read-ahead reader
    std::free(r->data);
    r->data = nullptr;
    r->capacity = r->pos = r->end = 0;
    r->can_unget = false;
}

size_t reader_fill(InputReader *r, size_t want) {
    if (r->end - r->pos >= want || r->eof) return r->end - r->pos;
    if (r->read_ahead && !r->ahead && r->stream)
        r->read_ahead = start_read_ahead(r, r->block ? r->block : READER_BLOCK);
    if (r->ahead) return fill_from_ahead(r, want);
    // Keep the bytes not yet handed out, and the line that may be pushed back, at the start.
    size_t base = r->can_unget && r->last_start < r->pos ? r->last_start : r->pos;
    if (base > 0) {
        restore_last_newline(r);
        r->before_data = r->data[base - 1];
        std::memmove(r->data, r->data + base, r->end - base);
        r->end -= base;
        r->pos -= base;
        if (r->can_unget) r->last_start -= base;
    }
    size_t block = r->block ? r->block : READER_BLOCK;
    size_t need = r->pos + (want < block ? block : want);
    if (r->capacity < need) {
        size_t cap = r->capacity ? r->capacity : block;
        while (cap < need) cap *= 2;
        r->data = static_cast<unsigned char *>(mem_realloc(r->data, cap + 1));
        r->capacity = cap;
    }
    while (r->end - r->pos < want && !r->eof) {
        size_t room = r->capacity - r->end;
        if (room == 0) break;
        if (r->by_line) {
            // Never wait for more than the line being typed: one byte at a time.
            unsigned char c = 0;
            while (r->end < r->capacity && read_input(r->stream, &c, 1) == 1) {
                r->data[r->end++] = c;
                if (c == '\n') break;
            }
            if (c == '\n') break;
            if (r->end < r->capacity) {
                if (std::ferror(r->stream)) read_failed(r, errno);
                r->eof = true;
            }
            continue;
        }
        size_t got = r->stream ? read_input(r->stream, r->data + r->end, room) : 0;
        r->end += got;
        if (got < room) {
            if (r->stream && std::ferror(r->stream)) read_failed(r, errno);
            r->eof = true;
        }
    }
    r->data[r->end] = '\0';
    return r->end - r->pos;
}

int reader_getc_refill(InputReader *r) {
    if (r->pos < r->end) return r->data[r->pos++];
    if (reader_fill(r, 1) == 0) return EOF;
    return r->data[r->pos++];
}

void reader_ungetc(InputReader *r) {
    if (r->pos > 0) r->pos--;
}

void reader_line_too_long(const InputReader *r) {
    error("Line %ld of %s is longer than %zu characters", r->line_number + 1,
          shown_text(r->name).c_str(), r->max_line);
}

// The line being read, of which length bytes are in, has passed max_line: ends the run unless
// the reader takes long lines of text and every byte of it is text. *checked (bytes from pos
// already found to be text) spares each byte a second look.
static void take_long_line(const InputReader *r, size_t length, size_t *checked) {
    if (!r->long_text_lines) reader_line_too_long(r);
    const unsigned char *p = r->data + r->pos;
    unsigned bad = 0;  // no early exit: the compiler checks many bytes at a time
    for (size_t i = *checked; i < length; i++)
        bad |= (p[i] < ' ' && p[i] != '\t' && p[i] != '\r') || p[i] > '~';
    if (bad) reader_line_too_long(r);
    *checked = length;
}

bool reader_line(InputReader *r, char **line, size_t *length) {
    restore_last_newline(r);
    size_t scanned = 0;  // bytes from pos known to hold no newline
    size_t checked = 0;  // bytes from pos of a line past max_line known to be text
    for (;;) {
        size_t avail = r->end - r->pos;
        const void *nl = avail > scanned
                             ? std::memchr(r->data + r->pos + scanned, '\n', avail - scanned)
                             : nullptr;
        if (nl) {
            size_t len = static_cast<const unsigned char *>(nl) - (r->data + r->pos);
            if (len > r->max_line) take_long_line(r, len, &checked);
            r->last_start = r->pos;
            r->last_length = len;
            r->last_had_newline = true;
            r->can_unget = true;
            r->data[r->pos + len] = '\0';
            *line = reinterpret_cast<char *>(r->data + r->pos);
            *length = len;
            r->pos += len + 1;
            r->line_number++;
            return true;
        }
        scanned = avail;
        if (r->eof) break;
        // Checked once per fill: an endless line ends the run after max_line bytes and a block.
        if (scanned > r->max_line) take_long_line(r, scanned, &checked);
        reader_fill(r, avail + READER_BLOCK);
    }
    size_t avail = r->end - r->pos;
    if (avail == 0) {
        r->can_unget = false;
        return false;
    }
    if (avail > r->max_line) take_long_line(r, avail, &checked);
    // A last line without a newline: data[end] is already the NUL.
    r->last_start = r->pos;
    r->last_length = avail;
    r->last_had_newline = false;
    r->can_unget = true;
    *line = reinterpret_cast<char *>(r->data + r->pos);
    *length = avail;
    r->pos = r->end;
    r->line_number++;
    return true;
}

void reader_unget_line(InputReader *r) {
    if (!r->can_unget) return;
    if (r->last_had_newline) r->data[r->last_start + r->last_length] = '\n';
    r->pos = r->last_start;
    r->can_unget = false;
    r->line_number--;
}

size_t reader_read(InputReader *r, void *dst, size_t n) {
    unsigned char *out = static_cast<unsigned char *>(dst);
    size_t done = 0;
    while (done < n) {
        size_t avail = r->end - r->pos;
        if (avail == 0) {
            avail = reader_fill(r, 1);
            if (avail == 0) break;
        }
        size_t take = avail < n - done ? avail : n - done;
        std::memcpy(out + done, r->data + r->pos, take);
        r->pos += take;
        done += take;
    }
    restore_last_newline(r);
    r->can_unget = false;
    return done;
}

bool reader_at_end(InputReader *r) {
    return reader_fill(r, 1) == 0;
}

int reader_byte_before(const InputReader *r, size_t at) {
    if (at == 0) return r->before_data;
    if (r->can_unget && r->last_had_newline && at - 1 == r->last_start + r->last_length)
        return '\n';
    return r->data[at - 1];
}

bool reader_line_with_end(InputReader *r, char **line, size_t *length) {
    if (!reader_line(r, line, length)) return false;
    if (r->last_had_newline) (*line)[(*length)++] = '\n';
    return true;
}

bool reader_line_copy(InputReader *r, std::string &line) {
    char *text;
    size_t length;
    if (!reader_line_with_end(r, &text, &length)) {
        line.clear();
        return false;
    }
    line.assign(text, length);
    return true;
}
