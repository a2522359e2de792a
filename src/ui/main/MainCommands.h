#pragma once

#include "core/TextCodec.h"

/// The main window's commands, as its menus, toolbar and notification-area menu run them; each
/// is named after the menu entry that runs it. The window carries them out; the menus know them
/// only through this list.
class MainCommands {
public:
    virtual void mnuF_Open_Click() = 0;
    virtual void mnuF_Close_Click() = 0;
    virtual void mnuF_Exit_Click() = 0;
    /// The preview pane shown or hidden; the choice is kept at once.
    virtual void mnuV_Preview_Click(bool shown) = 0;
    /// Reads novels in this encoding, or detects it, from now on; an open novel is opened again with it.
    virtual void mnuE_Encoding_Click(bool detect, TextCodec::Id id) = 0;
    virtual void mnuO_Analyze_Click() = 0;
    virtual void mnuO_SaveOut_Click() = 0;
    virtual void mnuO_SaveEpub_Click() = 0;
    virtual void mnuO_Stop_Click() = 0;
    virtual void mnuO_Option_Click() = 0;
    virtual void mnuI_SelAll_Click() = 0;
    virtual void mnuI_SelReverse_Click() = 0;
    virtual void mnuI_SelNone_Click() = 0;
    virtual void mnuI_SelUndo_Click() = 0;
    virtual void mnuIE_Title_Click() = 0;
    virtual void mnuIE_ChapNum_Click() = 0;
    virtual void mnuI_Copy_Click() = 0;
    /// "删除此标题": the selected title, when it was added by hand.
    virtual void mnuI_RemoveTitle_Click() {}
    /// Selects the next row (in display order, wrapping) whose chapter number breaks the sequence.
    virtual void mnuI_NextAnomaly_Click() = 0;
    virtual void mnuI_Tidy_Click() = 0;
    virtual void mnuI_IgnoreRepeats_Click() = 0;
    virtual void mnuI_CheckSelected_Click() = 0;
    virtual void mnuI_UncheckSelected_Click() = 0;
    virtual void mnuH_HomePage_Click() = 0;
    virtual void mnuH_About_Click() = 0;
    virtual void mnu_T_Show_Click() = 0;
    virtual void mnu_T_Hide_Click() = 0;

protected:
    ~MainCommands() = default;
};
