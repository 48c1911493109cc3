// The program's allocator: jemalloc, which reads this setting when it
// starts. An import allocates and frees arrays of a few MiB for every mesh,
// and on some machines every fresh 4 KiB page costs a fault that takes more
// time than the work done on it. So large blocks are backed by huge pages
// where the kernel offers them (one fault per 2 MiB), freed blocks are kept
// and reused for the next mesh, and one arena serves the program: one thread
// imports and writes, and the few that decode and encode textures or deflate
// FBX arrays allocate a few large blocks each.
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:auto,narenas:1";
}
