#include "engine/Questions.h"

namespace {

MessageDialogFn installedDialog;

}  // namespace

void SetMessageDialog(MessageDialogFn dialog) { installedDialog = std::move(dialog); }

int MessageDialog(const std::string& text, int type, uint16_t buttons)
{
    if (installedDialog) return installedDialog(text, type, buttons);
    return (buttons & mbAbort) ? int(mrAbort) : int(mrCancel);
}
