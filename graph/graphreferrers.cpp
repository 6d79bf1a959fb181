// Where the graph learns who refers to an instance: the document's ReferenceIndex.
#include "graph/graphmodel.h"
#include "refs/refindex.h"

namespace quillon {

ReferrerSource graphReferrers(const XmlDocument *doc, ReferenceIndex *index)
{
    if (!doc || !index)
        return {};
    return [doc, index](const QString &id) {
        QList<GraphReferrer> found;
        const XmlNode root = doc->documentElement();
        // The very instance that refers: two instances may share an id.
        for (const Referrer &r : index->referrers(*doc, id))
            found.append({root.at(r.instance), r.property});
        return found;
    };
}

} // namespace quillon
