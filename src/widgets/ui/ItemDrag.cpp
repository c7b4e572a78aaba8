// The source mark of item drags.
#include "widgets/ui/ItemDrag.h"

#include <QCoreApplication>
#include <QMimeData>

namespace {

// The mark holds the process id and the source's number: a drag that comes
// from another running copy of the program names windows of that copy.
QByteArray markOf(TDragSource source)
{
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' + QByteArray::number(int(source));
}

} // namespace

QString ItemDragMimeType() { return QStringLiteral("application/x-quillon-item-source"); }

void SetDragSource(QMimeData *data, TDragSource source)
{
    if (data)
        data->setData(ItemDragMimeType(), markOf(source));
}

TDragSource DragSourceOf(const QMimeData *data)
{
    if (!data || !data->hasFormat(ItemDragMimeType()))
        return TDragSource::None;
    const QByteArray mark = data->data(ItemDragMimeType());
    for (const TDragSource source : {TDragSource::MainTree, TDragSource::MainList, TDragSource::FoundList})
        if (mark == markOf(source))
            return source;
    return TDragSource::None;
}
