// Disk space, drive kinds and size texts.
#pragma once
#include <cstdint>
#include <string>

int32_t ClusterSize(const std::string& folder);
int32_t RoundUpToCluster(const std::string& folder, int32_t size);
// The same with the cluster size already asked (0: unknown, the size as it is).
int32_t RoundUpToClusterSize(int32_t cluster, int32_t size);
std::string FormatSize(int64_t bytes);
std::string GroupThousands(int32_t value);
unsigned DriveTypeOf(const std::string& path);
bool IsRemovableDrive(const std::string& path);
