// The folder list and the drive box of the destination page: their rows and rules.
// The window code (win32/FileCtrlWindow) draws these rows and routes the user's picks here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDriveComboBox;

enum class TFolderGlyph { Open, Closed };

struct TFolderRow {
    std::string Text;    // full path of the row's folder
    TFolderGlyph Glyph;
};

struct TDriveRow {
    std::string Text;    // "c: [label]", "c: " or "n: \\server\share"
    bool Removable;      // removable glyph, else the fixed one
};

// File-name casing: the system's ANSI rules, or on a double-byte system the ASCII letters
// only, leaving every double-byte character alone.
std::string FileNameLower(const std::string& text);
std::string FileNameUpper(const std::string& text);
// Backslashes in the path after dropping one trailing backslash: 0 for a drive root.
int FolderLevel(const std::string& path);
// The label of a drive letter: "[name]" of its volume, or empty.
std::string DriveVolumeText(char letter);
// The remote name of a network drive letter, or its volume text when it cannot be had.
std::string DriveNetworkText(char letter);

class TDirectoryListBox {
public:
    TDirectoryListBox();
    virtual ~TDirectoryListBox();
    TDirectoryListBox(const TDirectoryListBox&) = delete;
    TDirectoryListBox& operator=(const TDirectoryListBox&) = delete;

    TDriveComboBox* DriveBox = nullptr;   // set and cleared only by TDriveComboBox::SetDirList
    bool ChangingFolder = false;          // OpenFolder is handing a drive change to the drive box
    bool VolumePreservesCase = false;
    bool VolumeCaseSensitive = false;
    std::string CurrentFolder;            // a single NUL until a folder is opened
    std::function<void(TDirectoryListBox& sender)> OnChange;
    std::vector<TFolderRow> Rows;

    virtual void NotifyChange();
    virtual void RebuildRows();
    // Opens the folder or its nearest existing ancestor; keeps the drive box in step.
    void OpenFolder(const std::string& path);
    // Moves to another drive: the product folder in Program Files, or the same path, or the root.
    void SwitchDrive(char letter);

    bool SameFolder(const std::string& a, const std::string& b) const;
    std::string DisplayCase(const std::string& text) const;
    bool HasFolder() const;
    int CurrentRow() const;                 // the current folder's row (last of the chain)
    int RowIndent(int row) const;           // pixels from the row's left edge to its glyph
    std::string RowLabel(int row) const;    // as shown, DisplayCase applied

    // The window's side. RebuildRows selects the current folder's row once a window exists.
    bool HasWindow = false;
    int Selected = -1;
    std::function<void()> OnRowsChanged;    // refill the real control and select `Selected`
    void WindowCreated();
    void RowPicked(int row);                // the user moved the selection to a row

private:
    int Level() const;                      // FolderLevel of CurrentFolder, from the share for \\server\share
};

class TDriveComboBox {
public:
    TDriveComboBox();
    ~TDriveComboBox();
    TDriveComboBox(const TDriveComboBox&) = delete;
    TDriveComboBox& operator=(const TDriveComboBox&) = delete;

    TDirectoryListBox* DirList() const { return dirList_; }
    void SetDirList(TDirectoryListBox* list);

    char CurrentDrive = '\0';               // lower-case letter shown
    uint32_t DriveMask = 0;                 // logical drives read by the last rebuild
    std::vector<TDriveRow> Rows;
    int Selected = -1;
    std::function<void(TDriveComboBox& sender)> OnChange;

    void SelectDrive(char letter);
    void RebuildRows();
    void RebuildRows(uint32_t mask);
    std::string SelectedText() const;       // empty when no row is selected
    void SelectRowWithText(const std::string& text);   // no row when none has exactly that text

    std::function<void()> OnRowsChanged;    // refill the real control and select `Selected`
    std::function<void()> OnSelectionChanged;
    void WindowCreated();
    void RowPicked(int row);                // the user picked a row

private:
    void SetSelected(int row);
    TDirectoryListBox* dirList_ = nullptr;
};
