// What an installation keeps of itself, for the wizard and the unattended road alike: its
// log and the file it goes to, the component bits and the size the settings record.
#pragma once
#include <cstdint>
#include <string>
#include "engine/AttachFiles.h"
#include "instutils/InstallLog.h"

// The log of the installation that whoever runs it keeps, and the file it is saved to. The
// files it was handed to outlive it, and forget it when it goes.
class InstallRecord {
public:
    InstallRecord() = default;
    ~InstallRecord() { if (files_ && files_->Log == &Log) files_->Log = nullptr; }
    InstallRecord(const InstallRecord&) = delete;
    InstallRecord& operator=(const InstallRecord&) = delete;
    void HandTo(TAttachedFiles& files) { files_ = &files; files.Log = &Log; }

    InstallLog Log;
    std::string FileName;   // empty for a portable installation
    bool Started = false;

private:
    TAttachedFiles* files_ = nullptr;
};

// Steps both the wizard and the unattended road take.
// A new install log, handed to files; unless portable, what "Install.log" in mainDir already
// lists is kept.
void OpenInstallLog(InstallRecord& record, TAttachedFiles& files, const std::string& mainDir, bool portable);
// Saves "Install.log" unless portable; a log that cannot be written is not an error.
void SaveInstallLogQuietly(const InstallRecord& record, SharedData& shared, bool portable);
// The saved component bits after an installation of chosen (bit 0, always installed, is
// never kept as a choice; the bits above 7 are carried over).
uint32_t SavedComponentBits(uint32_t saved, uint8_t chosen);
// The disk space the chosen components take in mainDir, in KB rounded up.
uint32_t InstalledKb(const TAttachedFiles& files, uint8_t chosen, const std::string& mainDir);
