// Speed of the well-formedness check: generates a document of about N MB (default 200) made
// of instances with attributes, non-ASCII text, references and comments, or reads the file
// given, and prints the best of three runs of checkWellFormed in MB/s.
//
// Usage: bench_wellformed [size-in-MB | file.xml]

#include "document/wellformed.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char **argv)
{
    std::string doc;
    const std::string arg = argc > 1 ? argv[1] : "200";
    if (arg.find(".xml") != std::string::npos) {
        std::ifstream f(arg, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        doc = ss.str();
    } else {
        const size_t target = size_t(std::atol(arg.c_str())) * 1000000;
        doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n <aim>\n  <aim-instances>\n";
        for (size_t i = 0; doc.size() < target; ++i) {
            const std::string n = std::to_string(i);
            doc += "   <product id=\"id" + n + "\" kind=\"part\" version=\"" + std::to_string(i % 7) +
                   "\">\n"
                   "    <name>Gear shaft " +
                   n +
                   " \xE2\x80\x93 gr\xC3\xB6\xC3\x9F"
                   "er &amp; kleiner</name>\n"
                   "    <description>A plain run of description text for instance number " +
                   n +
                   ", long enough to matter.</description>\n"
                   "    <ref href=\"parts.xml#id" +
                   n + "\" ref=\"id" + n +
                   "\"/>\n"
                   "    <!-- comment " +
                   n +
                   " -->\n"
                   "   </product>\n";
        }
        doc += "  </aim-instances>\n </aim>\n</uos>\n";
    }
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        quillon::WellFormedError error;
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = quillon::checkWellFormed(doc, &error);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok) {
            std::printf("not well-formed at byte %zu: %s\n", error.offset, error.message.c_str());
            return 1;
        }
        best = std::max(best, double(doc.size()) / s / 1e6);
    }
    std::printf("%.1f MB checked: %.0f MB/s (best of 3)\n", double(doc.size()) / 1e6, best);
    return 0;
}
