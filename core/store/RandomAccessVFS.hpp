#pragma once

// SQLite's own file layer, except that the memory mapping it reads a database through is marked
// for random access. A fault on a page not yet in memory then reads that page alone; otherwise
// the kernel reads around it, megabytes on some disks, and around a page of the lists lie the
// pages of documents' HTML. Pages already in memory are read through the mapping as before,
// without a read call each.
namespace quorvel::RandomAccessVFS {

// The name to open a database with; registered (never as the default) on the first call. Null
// when SQLite has no default file layer to build on.
const char *name();

} // namespace quorvel::RandomAccessVFS
