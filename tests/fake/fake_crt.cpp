// Stand-ins for the Windows C runtime: _snprintf, whose "I64" size prefix is glibc's "ll", and a
// setvbuf that tells the tests what it was asked for.
#include <windows.h>

#include <cstdarg>
#include <string>

#undef setvbuf

int _snprintf(char *buffer, size_t size, const char *format, ...)
{
    std::string translated = format;
    for (size_t at; (at = translated.find("I64")) != std::string::npos;)
        translated.replace(at, 3, "ll");
    va_list args;
    va_start(args, format);
    int length = vsnprintf(buffer, size, translated.c_str(), args);
    va_end(args);
    // Like the runtime's, a result that does not fit is reported as -1.
    return length >= (int)size ? -1 : length;
}

static std::string streamBuffer;

int FakeSetvbuf(FILE *stream, char *buffer, int mode, size_t size)
{
    streamBuffer = (mode == _IOFBF ? "full " : mode == _IOLBF ? "line " : "none ") + std::to_string(size);
    return setvbuf(stream, buffer, mode, size);
}

const char *FakeStreamBuffer() { return streamBuffer.c_str(); }
