#pragma once
// The Qt Designer plugin of the editor control: Designer lists quillon::CtrlXMLEditor in the
// "Quillon" group and places it on forms. The widget is made by the library's factory, so the
// plugin knows no more of the control than any host does.

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class QuillonDesignerPlugin : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QDesignerCustomWidgetInterface_iid)
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    explicit QuillonDesignerPlugin(QObject *parent = nullptr);

    QString name() const override;
    QString group() const override;
    QString toolTip() const override;
    QString whatsThis() const override;
    QString includeFile() const override;
    QIcon icon() const override;
    bool isContainer() const override;
    QWidget *createWidget(QWidget *parent) override;
    bool isInitialized() const override;
    void initialize(QDesignerFormEditorInterface *core) override;
    QString domXml() const override;

private:
    bool m_initialized = false;
};
