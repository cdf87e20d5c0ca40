// The setup wizard as the program's entry sees it.
#pragma once

// Creates the wizard (which reads the saved settings and the "-d" switch from the
// program's command line), installs the message dialog and runs the wizard as a modal
// window until it closes. The archive reader (AttachedFiles) must exist before.
void RunWizardModal();

// What follows the wizard's close, before the archive reader is freed:
// waits for a still-running install worker, then, only if the installation was started,
// saves the settings (and the uninstall entry unless portable) and "Install.log"
// (unless portable; failures are swallowed); finally destroys the wizard.
// Call it once after RunWizardModal, whatever the way the wizard ended. Returns the exit code.
int FinishAfterWizard();
