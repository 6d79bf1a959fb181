// Where the graph learns who refers to an instance: the document's ReferenceIndex.
#include "graphmodel.h"
#include "refindex.h"

namespace quillon {

ReferrerSource graphReferrers(const XmlDocument *doc, ReferenceIndex *index)
{
    if (!doc || !index)
        return {};
    return [doc, index](const QString &id) {
        QList<GraphReferrer> found;
        for (const Referrer &r : index->referrers(*doc, id))
            // A referrer without an id cannot be shown; with one, it is the instance that
            // a click would show.
            if (const XmlNode instance = doc->findInstance(r.id))
                found.append({instance, r.property});
        return found;
    };
}

} // namespace quillon
