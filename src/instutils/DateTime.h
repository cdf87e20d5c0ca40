// Date-times are doubles counting days since 1899-12-30, the time of day as the fraction.
#pragma once
#include <cstdint>
#include "platform/Platform.h"

double EncodeDateTime(const LocalTime& t);
LocalTime DecodeDateTime(double value);
// Packed DOS date (high half) and time (low half); 0 for years outside 1980..2099.
uint32_t DateTimeToDos(double value);
double DosToDateTime(uint32_t dos);
double NowDateTime();
