#include "engine/Questions.h"

int QuestionService::Ask(const std::string& text, int type, uint16_t buttons) const
{
    if (dialog_) return dialog_(text, type, buttons);
    return (buttons & mbAbort) ? int(mrAbort) : int(mrCancel);
}
