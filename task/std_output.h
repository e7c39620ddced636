// The program's only text output: standard output as plain bytes or a console screen buffer.
#ifndef SPINDLEWORK_STD_OUTPUT_H
#define SPINDLEWORK_STD_OUTPUT_H

#include <windows.h>

enum OutputEnding { ENDING_ZONE, ENDING_LINE };

void WriteText(const char *text, int length);
void WriteInt64(LONGLONG value, OutputEnding ending);
void ZoneFill();

#endif
