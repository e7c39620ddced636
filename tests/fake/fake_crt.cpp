// Stand-in for the Windows C runtime's _snprintf: its "I64" size prefix is glibc's "ll".
#include <windows.h>

#include <cstdarg>
#include <string>

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
