#pragma once

#include "ui/toolkit/widget.h"

namespace ui {

class InstallDialog;

// The confirm-abort card that the close button opens before the installation starts: a nearly
// opaque white card with a small logo, two lines of persuasion, a continue button and the give-up
// link. Both buttons act when the mouse button goes down.
class AbortInstallView : public Widget {
public:
    // Creates the children; called once, after the card has been added and placed.
    void Build(InstallDialog* dialog);

    void Paint(Gdiplus::Graphics& surface) override;
};

}  // namespace ui
