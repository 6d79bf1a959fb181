#pragma once
// The "XML" tab: a read-only source view of the document file. Navigate and Refresh only note
// what to show; the file is read when the view is (or becomes) visible, so opening a large
// document is not slowed down while the user is on the other tab.

#include "quillon_export.h"

#include <QWidget>

class QsciScintilla;

namespace quillon {

class QUILLON_EXPORT XmlSourceView : public QWidget {
    Q_OBJECT
public:
    explicit XmlSourceView(QWidget *parent = nullptr);

    void Navigate(const QString &path);
    void Refresh();

    QString path() const { return m_path; }
    // The text on show ("" until the view has been visible with a file to show).
    QString shownText() const;
    // Whether the file still has to be read in (it will be when the view is visible).
    bool isStale() const { return m_stale; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void readIfVisible();
    void readFile();

    QsciScintilla *m_editor = nullptr;
    QString m_path;
    bool m_stale = false;
    bool m_readQueued = false;
};

} // namespace quillon
