#pragma once
// The "Find" tab: a query box (`txtFindValue`), the options match case, whole word and regular
// expression, the instance type to limit the search to (`cboValueType`), Find and Stop, a status
// line and the results (`lstFind`, a FindModel) with the match of each row marked. The search
// and its rules are the model's; the page forwards what the user does. A click on a result, or
// Enter on it, asks for its instance to be shown (rowChosen).

#include <QStyledItemDelegate>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace quillon {

class EditorSession;
class FindModel;

// Paints a cell's text with the span FindModel::MatchRole gives marked.
class MatchDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class FindPage : public QWidget {
    Q_OBJECT
public:
    FindPage(EditorSession *session, QWidget *parent = nullptr);

    FindModel *model() const { return m_model; }
    // The query box takes the focus, its text selected.
    void focusQuery();

signals:
    void rowChosen(int row);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void cmdFind_Click();
    void refreshTypes();

    EditorSession *m_session;
    FindModel *m_model;
    bool m_typesStale = true;
    QLineEdit *txtFind;
    QCheckBox *chkMatchCase, *chkWholeWord, *chkRegex;
    QComboBox *cboType;
    QPushButton *cmdFind, *cmdStop;
    QLabel *lblFind;
    QTreeView *lstFind;
};

} // namespace quillon
