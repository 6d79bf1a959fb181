#include "widgets/findpage.h"
#include "widgets/rowchoice_p.h"
#include "widgets/childwidget_p.h"
#include "session/editorsession.h"
#include "session/findmodel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillon {

void MatchDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant match = index.data(FindModel::MatchRole);
    if (!match.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    const QRect r = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).adjusted(margin, 0, -margin, 0);
    const QPoint span = match.toPoint();
    const QFontMetrics fm(opt.font);
    const int x = r.left() + fm.horizontalAdvance(text.left(span.x()));
    const int width = fm.horizontalAdvance(text.mid(span.x(), span.y()));
    painter->save();
    painter->setClipRect(r);
    painter->fillRect(QRect(x, r.top() + 1, width, r.height() - 2), QColor(255, 210, 0, 150));
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

FindPage::FindPage(EditorSession *session, QWidget *parent)
    : QWidget(parent), m_session(session), m_model(new FindModel(session, this))
{
    txtFind = child<QLineEdit>(this, "txtFindValue");
    txtFind->setPlaceholderText(tr("Text in values, property names, instance names or ids"));
    txtFind->setClearButtonEnabled(true);
    chkMatchCase = child<QCheckBox>(this, "chkValueCase");
    chkMatchCase->setText(tr("Match &case"));
    chkWholeWord = child<QCheckBox>(this, "chkValueWord");
    chkWholeWord->setText(tr("&Whole word"));
    chkRegex = child<QCheckBox>(this, "chkValueRegex");
    chkRegex->setText(tr("Regular e&xpression"));
    cboType = child<QComboBox>(this, "cboValueType");
    cboType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmdFind = child<QPushButton>(this, "cmdFindValue");
    cmdFind->setText(tr("Find"));
    cmdStop = child<QPushButton>(this, "cmdStopFind");
    cmdStop->setText(tr("Stop"));
    cmdStop->setEnabled(false);
    lblFind = child<QLabel>(this, "lblFindValue");
    lstFind = child<QTreeView>(this, "lstFind");
    lstFind->setModel(m_model);
    lstFind->setItemDelegate(new MatchDelegate(lstFind));
    lstFind->setRootIsDecorated(false);
    lstFind->setUniformRowHeights(true);
    lstFind->setSelectionMode(QAbstractItemView::SingleSelection);
    lstFind->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto *query = new QHBoxLayout;
    query->addWidget(txtFind, 1);
    query->addWidget(cmdFind);
    query->addWidget(cmdStop);
    auto *options = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(chkMatchCase), static_cast<QWidget *>(chkWholeWord),
                       static_cast<QWidget *>(chkRegex), static_cast<QWidget *>(cboType)})
        options->addWidget(w);
    options->addWidget(lblFind, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(query);
    layout->addLayout(options);
    layout->addWidget(lstFind);

    connect(txtFind, &QLineEdit::returnPressed, this, &FindPage::cmdFind_Click);
    connect(cmdFind, &QPushButton::clicked, this, &FindPage::cmdFind_Click);
    connect(cmdStop, &QPushButton::clicked, m_model, &FindModel::stop);
    connect(m_model, &FindModel::runningChanged, cmdStop, &QWidget::setEnabled);
    connect(m_model, &FindModel::statusChanged, this, [this] { lblFind->setText(m_model->status()); });
    // The columns fit the first rows that come.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first) {
        if (first == 0)
            lstFind->header()->resizeSections(QHeaderView::ResizeToContents);
    });
    onRowChosen(lstFind, this, [this](const QModelIndex &i) { emit rowChosen(i.row()); });
    connect(session, &EditorSession::documentShown, this, [this] {
        m_typesStale = true;
        if (isVisible())
            refreshTypes();
    });
    refreshTypes();
}

void FindPage::focusQuery()
{
    txtFind->setFocus(Qt::ShortcutFocusReason);
    txtFind->selectAll();
}

void FindPage::showEvent(QShowEvent *event)
{
    if (m_typesStale)
        refreshTypes();
    QWidget::showEvent(event);
}

void FindPage::refreshTypes()
{
    m_typesStale = false;
    const QString chosen = cboType->currentData().toString();
    cboType->clear();
    cboType->addItem(tr("All types"), QString());
    for (const QString &type : m_model->instanceTypes())
        cboType->addItem(type, type);
    cboType->setCurrentIndex(qMax(0, cboType->findData(chosen)));
}

void FindPage::cmdFind_Click()
{
    m_model->start({txtFind->text(), chkMatchCase->isChecked(), chkWholeWord->isChecked(), chkRegex->isChecked(),
                    cboType->currentData().toString()});
}

} // namespace quillon
