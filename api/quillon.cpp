// The C factory: the one way a host makes the control, by its name.
#include "api/quillon.h"
#include "widgets/ctrlxmleditor.h"

#include <cstring>

QWidget *QuillonCreateControl(const char *progId, QWidget *parent)
{
    if (!progId || std::strcmp(progId, "Quillon.CtrlXMLEditor") != 0)
        return nullptr;
    return new quillon::CtrlXMLEditor(parent);
}
