// The program's constant tables.
#pragma once

extern const char* const ComponentNames[8];
extern const char* const ComponentFileLists[8];
extern const char* const PageTitles[8];
