#include "engine/Questions.h"

namespace {

MessageDialogFn installedDialog;

}  // namespace

void SetMessageDialog(MessageDialogFn dialog) { installedDialog = std::move(dialog); }

int MessageDialog(const std::string& text, int type, uint16_t buttons)
{
    return installedDialog ? installedDialog(text, type, buttons) : int(mrCancel);
}
