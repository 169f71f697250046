// The pieces of the C++ and C run-time that the Windows build of the tool
// supplies itself, so that the program carries no exception machinery and
// imports only functions that Windows 98 SE and NT 4.0 export.
//
// The tool is built without exceptions: nothing in it throws or catches. The
// C++ library still names a few throwing paths (an over-long string, a
// std::function called empty, memory exhausted); without exceptions each of
// them ends the process at once, as an uncaught exception did before. The
// library's own versions would pull in the unwinder, the exception objects
// and their thread-safe storage, whose imports (CreateSemaphoreW and the
// like) exist on Windows 9x only as stubs, and most of the program's size.
//
// The formatter: libstdc++ on mingw-w64 routes std::vsnprintf to mingw's
// portable printf, which converts wide characters through functions it finds
// by GetModuleHandleW. The tool formats narrow strings only, and msvcrt's
// own _vsnprintf (there since the first msvcrt.dll) does that.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {

[[noreturn]] void EndProcess() { std::abort(); }

void* Allocate(std::size_t size) {
    // malloc(0) may answer null; operator new must still give a pointer.
    return std::malloc(size ? size : 1);
}

void* AllocateOrEnd(std::size_t size) {
    void* memory = Allocate(size);
    if (!memory) EndProcess();
    return memory;
}

}  // namespace

// The global allocation functions, replaced as the language allows. The
// plain forms end the process when memory is exhausted; the nothrow forms
// answer null, as the tool's callers expect.
void* operator new(std::size_t size) { return AllocateOrEnd(size); }
void* operator new[](std::size_t size) { return AllocateOrEnd(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

// The C++ library's error paths that the tool's code can reach.
namespace std {
[[noreturn]] void __throw_bad_alloc() { EndProcess(); }
[[noreturn]] void __throw_bad_array_new_length() { EndProcess(); }
[[noreturn]] void __throw_length_error(const char*) { EndProcess(); }
[[noreturn]] void __throw_logic_error(const char*) { EndProcess(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { EndProcess(); }
[[noreturn]] void __throw_bad_function_call() { EndProcess(); }
}  // namespace std

// std::string, compiled here without exceptions. The C++ library declares
// its own compiled copy (built with exceptions, so with catch handlers that
// bring in the whole exception run-time); this definition comes first at
// link time and leaves that copy out.
template class std::basic_string<char>;

// The C99 vsnprintf that std::vsnprintf reaches: the whole length of the
// formatted text is returned even when it did not fit, and the output is
// always terminated. msvcrt's _vsnprintf answers -1 (or exactly `size`,
// unterminated) when the text does not fit; the full length is then found by
// formatting into growing scratch buffers, up to a mebibyte (beyond that, and
// for a format msvcrt rejects, the answer is -1, an error).
extern "C" int __mingw_vsnprintf(char* out, std::size_t size, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int written = size ? _vsnprintf(out, size, format, copy) : -1;
    va_end(copy);
    if (written >= 0 && static_cast<std::size_t>(written) < size) return written;
    if (size) out[size - 1] = '\0';
    // The text did not fit: measure it.
    constexpr std::size_t kScratchLimit = std::size_t{1} << 20;
    for (std::size_t scratchSize = size < 256 ? 512 : size * 2; scratchSize <= kScratchLimit; scratchSize *= 2) {
        char* scratch = static_cast<char*>(std::malloc(scratchSize));
        if (!scratch) return -1;
        va_copy(copy, args);
        written = _vsnprintf(scratch, scratchSize, format, copy);
        va_end(copy);
        std::free(scratch);
        if (written >= 0 && static_cast<std::size_t>(written) < scratchSize) return written;
    }
    return -1;
}
