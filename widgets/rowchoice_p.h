#pragma once
// A row of a results list is chosen by a click or, from the keyboard, by Enter: activated()
// also fires for the click itself where the style activates items on a single click, and the
// row is not to be chosen twice.

#include <QAbstractItemView>
#include <QStyle>

namespace quillon {

template <class F> void onRowChosen(QAbstractItemView *view, QObject *context, F chosen)
{
    QObject::connect(view, &QAbstractItemView::clicked, context, chosen);
    QObject::connect(view, &QAbstractItemView::activated, context, [view, chosen](const QModelIndex &index) {
        if (!view->style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, view))
            chosen(index);
    });
}

} // namespace quillon
