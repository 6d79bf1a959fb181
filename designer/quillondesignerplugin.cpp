#include "quillondesignerplugin.h"

#include "quillon.h"

#include <QIcon>

QuillonDesignerPlugin::QuillonDesignerPlugin(QObject *parent) : QObject(parent) { }

QString QuillonDesignerPlugin::name() const
{
    return QStringLiteral("quillon::CtrlXMLEditor");
}

QString QuillonDesignerPlugin::group() const
{
    return QStringLiteral("Quillon");
}

QString QuillonDesignerPlugin::toolTip() const
{
    return QStringLiteral("STEP-XML document editor");
}

QString QuillonDesignerPlugin::whatsThis() const
{
    return QStringLiteral("Browses and edits one STEP document written as XML: a tree in the ARM, "
                          "Mapping or AIM view, the properties of the selected instance, and the "
                          "raw file on the XML tab. Load a document with LoadProfile(file).");
}

QString QuillonDesignerPlugin::includeFile() const
{
    return QStringLiteral("ctrlxmleditor.h");
}

QIcon QuillonDesignerPlugin::icon() const
{
    return {};
}

bool QuillonDesignerPlugin::isContainer() const
{
    return false;
}

QWidget *QuillonDesignerPlugin::createWidget(QWidget *parent)
{
    return QuillonCreateControl("Quillon.CtrlXMLEditor", parent);
}

bool QuillonDesignerPlugin::isInitialized() const
{
    return m_initialized;
}

void QuillonDesignerPlugin::initialize(QDesignerFormEditorInterface *)
{
    m_initialized = true;
}

QString QuillonDesignerPlugin::domXml() const
{
    // A new control on a form starts at the size Palisade's window gives it.
    return QStringLiteral(R"(<ui language="c++">
 <widget class="quillon::CtrlXMLEditor" name="ctrlEdit">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>625</width><height>401</height></rect>
  </property>
 </widget>
</ui>
)");
}
