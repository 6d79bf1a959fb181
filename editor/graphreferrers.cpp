// Where the graph learns who refers to an instance.
#include "graphmodel.h"

namespace quillon {

ReferrerSource graphReferrers(const XmlDocument *doc, const QString &fileName)
{
    return scanReferrers(doc, fileName);
}

} // namespace quillon
