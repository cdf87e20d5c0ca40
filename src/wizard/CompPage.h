// The component page's rules: the check list's rows and states, and the disk-space check.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/DiskNeed.h"
#include "platform/FunctionRef.h"

enum TCheckBoxState { cbUnchecked = 0, cbChecked = 1, cbGrayed = 2 };

// The rows of a three-state check list, each with a spare 32-bit value slot.
class CheckListModel {
public:
    int Add(const std::string& text);      // a new unchecked row; returns its index
    int Count() const { return static_cast<int>(rows_.size()); }
    const std::string& Text(int row) const;
    TCheckBoxState State(int row) const;
    // From code: repaints the row, raises no OnClickCheck.
    void SetState(int row, TCheckBoxState state);
    // The user's toggle: unchecked -> checked, checked or grayed -> unchecked; then OnClickCheck.
    void Toggle(int row);
    int32_t Value(int row) const;
    void SetValue(int row, int32_t value);
    int Selected() const { return selected_; }
    void Select(int row);

    std::function<void()> OnClickCheck;
    std::function<void(int row)> OnRowAdded;     // the window adds the row
    std::function<void(int row)> OnRowChanged;   // the window repaints the row
    std::function<void(int row)> OnStateChanged; // then tells screen readers of the new state
    std::function<void(int row)> OnSelect;       // the window moves its selection

private:
    struct Row {
        std::string text;
        TCheckBoxState state = cbUnchecked;
        int32_t value = 0;
    };
    bool Valid(int row) const { return row >= 0 && row < Count(); }
    std::vector<Row> rows_;
    int selected_ = -1;
};

// Need = the value slots of the rows not unchecked, against the free space of mainDir's drive.
DiskSpaceView ComputeDiskSpace(const CheckListModel& rows, const std::string& mainDir);

// After a user toggle: the word processor's row goes back to grayed (and nothing else
// changes); any other toggle refreshes the disk-space figures.
void KeepFirstComponent(CheckListModel& rows, const std::vector<int>& compIds,
                        FunctionRef<void()> updateDiskSpace);

// The size shown on a row: its need rounded up to the clusters of mainDir's disk.
std::string RowSizeText(int32_t value, const std::string& mainDir);
