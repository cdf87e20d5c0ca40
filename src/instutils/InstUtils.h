// The installation utilities in one include.
#pragma once
#include "instutils/DateTime.h"
#include "instutils/DiskSpace.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
