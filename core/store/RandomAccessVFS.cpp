#include "store/RandomAccessVFS.hpp"

#include <sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <new>

namespace quorvel::RandomAccessVFS {

namespace {

// SQLite allocates szOsFile bytes for each file: this header, then the default layer's own file.
struct Header {
    sqlite3_file base;
    // The mapping last seen, and how much of it is marked: one call marks all there is, and the
    // next only what the file grew by.
    const unsigned char *mapping = nullptr;
    sqlite3_int64 marked = 0;
};

constexpr size_t innerOffset =
    (sizeof(Header) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

sqlite3_vfs *defaultVFS = nullptr;

Header *header(sqlite3_file *f) {
    return reinterpret_cast<Header *>(f);
}
sqlite3_file *inner(sqlite3_file *f) {
    return reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(f) + innerOffset);
}
const sqlite3_io_methods &methods(sqlite3_file *f) {
    return *inner(f)->pMethods;
}

// SQLite maps the file from offset 0, up to its size or the connection's limit, whichever is less;
// the page at `offset` lies `offset` bytes in.
void markRandom(sqlite3_file *f, sqlite3_int64 offset, const unsigned char *page) {
    Header &h = *header(f);
    const unsigned char *mapping = page - offset;
    if (mapping != h.mapping) {
        h.mapping = mapping;
        h.marked = 0;
    }
    if (offset < h.marked) return;
    sqlite3_int64 fileSize = 0, limit = -1;
    if (methods(f).xFileSize(inner(f), &fileSize) != SQLITE_OK ||
        methods(f).xFileControl(inner(f), SQLITE_FCNTL_MMAP_SIZE, &limit) != SQLITE_OK)
        return;
    const auto pageBytes = static_cast<sqlite3_int64>(sysconf(_SC_PAGESIZE));
    const sqlite3_int64 end = std::max(std::min(fileSize, limit), offset + 1);
    const sqlite3_int64 marked = (end + pageBytes - 1) / pageBytes * pageBytes;
    // Only how the kernel reads ahead changes; a failure leaves it reading as before.
    madvise(const_cast<unsigned char *>(mapping + h.marked), static_cast<size_t>(marked - h.marked), MADV_RANDOM);
    h.marked = marked;
}

int fetch(sqlite3_file *f, sqlite3_int64 offset, int bytes, void **out) {
    *out = nullptr;
    if (methods(f).iVersion < 3 || !methods(f).xFetch) return SQLITE_OK;
    const int rc = methods(f).xFetch(inner(f), offset, bytes, out);
    if (rc == SQLITE_OK && *out) markRandom(f, offset, static_cast<const unsigned char *>(*out));
    return rc;
}

int unfetch(sqlite3_file *f, sqlite3_int64 offset, void *page) {
    if (methods(f).iVersion < 3 || !methods(f).xUnfetch) return SQLITE_OK;
    return methods(f).xUnfetch(inner(f), offset, page);
}

const sqlite3_io_methods wrappedMethods = {
    3,
    [](sqlite3_file *f) { return methods(f).xClose(inner(f)); },
    [](sqlite3_file *f, void *out, int bytes, sqlite3_int64 offset) {
        return methods(f).xRead(inner(f), out, bytes, offset);
    },
    [](sqlite3_file *f, const void *in, int bytes, sqlite3_int64 offset) {
        return methods(f).xWrite(inner(f), in, bytes, offset);
    },
    [](sqlite3_file *f, sqlite3_int64 size) { return methods(f).xTruncate(inner(f), size); },
    [](sqlite3_file *f, int flags) { return methods(f).xSync(inner(f), flags); },
    [](sqlite3_file *f, sqlite3_int64 *size) { return methods(f).xFileSize(inner(f), size); },
    [](sqlite3_file *f, int level) { return methods(f).xLock(inner(f), level); },
    [](sqlite3_file *f, int level) { return methods(f).xUnlock(inner(f), level); },
    [](sqlite3_file *f, int *out) { return methods(f).xCheckReservedLock(inner(f), out); },
    [](sqlite3_file *f, int op, void *arg) { return methods(f).xFileControl(inner(f), op, arg); },
    [](sqlite3_file *f) { return methods(f).xSectorSize(inner(f)); },
    [](sqlite3_file *f) { return methods(f).xDeviceCharacteristics(inner(f)); },
    [](sqlite3_file *f, int region, int bytes, int extend, void volatile **out) {
        return methods(f).iVersion < 2 ? SQLITE_IOERR : methods(f).xShmMap(inner(f), region, bytes, extend, out);
    },
    [](sqlite3_file *f, int offset, int count, int flags) {
        return methods(f).iVersion < 2 ? SQLITE_IOERR : methods(f).xShmLock(inner(f), offset, count, flags);
    },
    [](sqlite3_file *f) {
        if (methods(f).iVersion >= 2) methods(f).xShmBarrier(inner(f));
    },
    [](sqlite3_file *f, int deleteFlag) {
        return methods(f).iVersion < 2 ? SQLITE_OK : methods(f).xShmUnmap(inner(f), deleteFlag);
    },
    fetch,
    unfetch,
};

// Only the main database file is mapped; every other file is the default layer's own, at the
// start of the space SQLite gave.
int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    if (!(flags & SQLITE_OPEN_MAIN_DB)) return defaultVFS->xOpen(defaultVFS, name, file, flags, outFlags);
    Header *h = new (file) Header{};
    const int rc = defaultVFS->xOpen(defaultVFS, name, inner(file), flags, outFlags);
    // SQLite closes a file whose methods are set even when opening failed.
    h->base.pMethods = inner(file)->pMethods ? &wrappedMethods : nullptr;
    return rc;
}

sqlite3_vfs *registered() {
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs copy{};
        defaultVFS = sqlite3_vfs_find(nullptr);
        if (!defaultVFS) return copy;
        // Everything else is the default layer's, which reads nothing of a layer but these fields.
        copy = *defaultVFS;
        copy.pNext = nullptr;
        copy.zName = "quorvel-random-access";
        copy.szOsFile = static_cast<int>(innerOffset) + defaultVFS->szOsFile;
        copy.xOpen = open;
        return copy;
    }();
    static const bool ok = vfs.xOpen && sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    return ok ? &vfs : nullptr;
}

} // namespace

const char *name() {
    sqlite3_vfs *vfs = registered();
    return vfs ? vfs->zName : nullptr;
}

} // namespace quorvel::RandomAccessVFS
