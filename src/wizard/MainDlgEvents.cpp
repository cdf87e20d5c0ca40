// The wizard's events and its one error boundary: every event runs in Handle, which shows what
// escapes it (an unknown error too) and then carries out a modal result as the modal loop would.
#include "wizard/MainDlg.h"

#include <exception>
#include <new>
#include "engine/ResConst.h"
#include "wizard/DestPage.h"
#include "wizard/MessageTexts.h"

TMainDlgForm::TMainDlgForm(MainDlgView& view, const QuestionService& questions)
    : Install(questions), view_(view), questions_(questions)
{
    // The rows exist before the list's window is made from them; Init sets their states.
    for (int i = 0; i < 8; ++i) {
        SelCompLstBx.Add(ComponentNames[i]);
        CompIds.push_back(i);
    }
    DestDirCmbBx.SetDirList(&DestDirLstBx);
    // The list windows call these from their own messages: errors are shown here too.
    DestDirLstBx.OnChange = [this](TDirectoryListBox&) { Handle([this] { DestDirLstBxChange(); }); };
    SelCompLstBx.OnClickCheck = [this] { Handle([this] { SelCompLstBxClickCheck(); }); };
}

TMainDlgForm::~TMainDlgForm()
{
    DestDirLstBx.OnChange = nullptr;
    SelCompLstBx.OnClickCheck = nullptr;
    DestDirCmbBx.SetDirList(nullptr);
}

template <class Action>
void TMainDlgForm::Handle(Action action)
{
    ++handlerDepth_;
    try {
        action();
    } catch (...) {
        ShowCaughtError();
    }
    EndHandler();
}

// Called inside a handler: shows the error being handled, whatever its kind. One copy of the
// handlers, not one in each instance of Handle.
void TMainDlgForm::ShowCaughtError()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {   // its what() is the runtime's English
        Ask(kMsgOutOfMemory, mtError, mbOK);
    } catch (const std::exception& e) {
        Ask(e.what(), mtError, mbOK);
    } catch (...) {
        Ask("Erreur inattendue.", mtError, mbOK);
    }
}

void TMainDlgForm::EndHandler()
{
    --handlerDepth_;
    // As the modal loop would, once no dialog of a handler is open any more.
    if (handlerDepth_ == 0)
        ApplyModalResult();
}

void TMainDlgForm::ApplyModalResult()
{
    if (closed_ || modalResult_ == 0)
        return;
    ++handlerDepth_;
    bool canClose = false;
    try {
        canClose = FormCloseQuery();
    } catch (...) {
        ShowCaughtError();
    }
    --handlerDepth_;
    if (canClose)
        closed_ = true;
    else
        modalResult_ = 0;
}

// A handler still running means its question is open: the question's own message loop
// still delivers posted clicks, close requests and ticks, and none may move the wizard
// (start the installation, change the page, ask again) under it.
bool TMainDlgForm::QuestionOpen() const { return handlerDepth_ > 0; }

void TMainDlgForm::BackClick()
{
    if (!QuestionOpen()) Handle([this] { BNClick(true); });
}

void TMainDlgForm::NextClick()
{
    if (!QuestionOpen()) Handle([this] { BNClick(false); });
}

void TMainDlgForm::CancelClick()
{
    if (!QuestionOpen()) Handle([this] { CancelBtnClick(); });
}

void TMainDlgForm::CloseRequest()
{
    if (!QuestionOpen()) Handle([this] { Close(mrCancel); });
}

void TMainDlgForm::TimerTick(int id)
{
    if (QuestionOpen())
        return;   // polled again on the next tick
    Handle([this, id] {
        if (id == 1)
            ShowInstallTick(Install.Worker.Poll());
        else
            DriveWatchTick(DestDirCmbBx);
    });
}

void TMainDlgForm::ActivateApp(bool active)
{
    Handle([this, active] {
        if (active && shownPage_ == 3)
            UpdateDiskSpace();
    });
}

void TMainDlgForm::ToggleComponent(int row)
{
    if (!QuestionOpen()) Handle([this, row] { SelCompLstBx.Toggle(row); });
}

void TMainDlgForm::EndSession()
{
    if (sessionEnded_)
        return;
    Handle([this] {
        // A dialog of ours may be open underneath: nobody will answer it.
        Install.Worker.StopAndWait();
        PersistAfterWizard(*this);
        sessionEnded_ = true;
        CloseAllowed = true;
        Close(mrCancel);
    });
}
