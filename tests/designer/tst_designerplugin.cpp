// The Designer plugin, loaded from its built file as Designer and QUiLoader load it.

#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QTest>
#include <QUiLoader>
#include <QXmlStreamReader>

class TestDesignerPlugin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_loader.setFileName(QStringLiteral(QUILLON_DESIGNER_PLUGIN_FILE));
        QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
        m_plugin = qobject_cast<QDesignerCustomWidgetInterface *>(m_loader.instance());
        QVERIFY(m_plugin);
    }

    // The widget the plugin makes is of the class it names, and the form template places that
    // class with a size; Designer matches the three by name.
    void createsTheNamedControl()
    {
        QWidget parent;
        QWidget *w = m_plugin->createWidget(&parent);
        QVERIFY(w);
        QCOMPARE(w->parentWidget(), &parent);
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), m_plugin->name());
        QVERIFY(!m_plugin->isContainer());

        QXmlStreamReader xml(m_plugin->domXml());
        QString widgetClass;
        int width = 0, height = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("widget") && widgetClass.isEmpty())
                widgetClass = xml.attributes().value(QLatin1String("class")).toString();
            else if (xml.name() == QLatin1String("width"))
                width = xml.readElementText().toInt();
            else if (xml.name() == QLatin1String("height"))
                height = xml.readElementText().toInt();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(widgetClass, m_plugin->name());
        QVERIFY(width > 0 && height > 0);
    }

    // Code that uic makes of a form includes the header the plugin names: it must declare the
    // class.
    void includeFileDeclaresTheClass()
    {
        QFile header(QStringLiteral(EDITOR_DIR "/") + m_plugin->includeFile());
        QVERIFY2(header.open(QIODevice::ReadOnly), qPrintable(header.fileName()));
        const QString className = m_plugin->name().section(QStringLiteral("::"), -1);
        QVERIFY(QString::fromUtf8(header.readAll())
                    .contains(QRegularExpression(QStringLiteral("class\\s+(QUILLON_EXPORT\\s+)?") + className +
                                                 QStringLiteral("\\s*:"))));
    }

    // A form with the control, loaded through Qt's form loader, gives a working control: it
    // loads a document through the interface hosts use.
    void formLoaderBuildsAWorkingControl()
    {
        QUiLoader ui;
        ui.clearPluginPaths();
        ui.addPluginPath(QFileInfo(m_loader.fileName()).absolutePath());
        QVERIFY(ui.availableWidgets().contains(m_plugin->name()));

        QByteArray form = m_plugin->domXml().toUtf8();
        QBuffer buffer(&form);
        QWidget parent;
        QWidget *w = ui.load(&buffer, &parent);
        QVERIFY2(w, qPrintable(ui.errorString()));
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), m_plugin->name());

        bool ok = false;
        QVERIFY(QMetaObject::invokeMethod(w, "LoadProfile", Q_RETURN_ARG(bool, ok),
                                          Q_ARG(QString, QStringLiteral(SAMPLES_DIR "/parts.xml"))));
        QVERIFY2(ok, qPrintable(w->property("LastError").toString()));
        QCOMPARE(QFileInfo(w->property("FileName").toString()).fileName(), QStringLiteral("parts.xml"));
    }

private:
    QPluginLoader m_loader;
    QDesignerCustomWidgetInterface *m_plugin = nullptr;
};

QTEST_MAIN(TestDesignerPlugin)
#include "tst_designerplugin.moc"
