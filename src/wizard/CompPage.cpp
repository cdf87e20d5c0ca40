#include "wizard/CompPage.h"

#include "instutils/DiskSpace.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

namespace {
const std::string kNoText;
}

int CheckListModel::Add(const std::string& text) {
    rows_.push_back({text, cbUnchecked, 0});
    int row = Count() - 1;
    if (OnRowAdded) OnRowAdded(row);
    return row;
}

const std::string& CheckListModel::Text(int row) const { return Valid(row) ? rows_[row].text : kNoText; }

TCheckBoxState CheckListModel::State(int row) const { return Valid(row) ? rows_[row].state : cbUnchecked; }

void CheckListModel::SetState(int row, TCheckBoxState state) {
    if (!Valid(row)) return;
    rows_[row].state = state;
    if (OnRowChanged) OnRowChanged(row);
    if (OnStateChanged) OnStateChanged(row);
}

void CheckListModel::Toggle(int row) {
    if (!Valid(row)) return;
    SetState(row, rows_[row].state == cbUnchecked ? cbChecked : cbUnchecked);
    if (OnClickCheck) OnClickCheck();
}

int32_t CheckListModel::Value(int row) const { return Valid(row) ? rows_[row].value : 0; }

void CheckListModel::SetValue(int row, int32_t value) {
    if (!Valid(row)) return;
    rows_[row].value = value;
    if (OnRowChanged) OnRowChanged(row);
}

void CheckListModel::Select(int row) {
    selected_ = Valid(row) ? row : -1;
    if (OnSelect) OnSelect(selected_);
}

DiskSpaceView ComputeDiskSpace(const CheckListModel& rows, const std::string& mainDir) {
    // Summed as the 32-bit integer the value slots are; wrapping, not overflowing.
    uint32_t sum = 0;
    for (int i = 0; i < rows.Count(); ++i)
        if (rows.State(i) != cbUnchecked) sum += static_cast<uint32_t>(rows.Value(i));
    return DiskSpaceFor(static_cast<int32_t>(sum), mainDir);
}

void KeepFirstComponent(CheckListModel& rows, const std::vector<int>& compIds,
                        FunctionRef<void()> updateDiskSpace) {
    if (!compIds.empty() && compIds[0] == 0 && rows.State(0) != cbGrayed) {
        rows.SetState(0, cbGrayed);
        return;
    }
    updateDiskSpace();
}

std::string RowSizeText(int32_t value, const std::string& mainDir) {
    return FormatSize(RoundUpToCluster(mainDir, value));
}
