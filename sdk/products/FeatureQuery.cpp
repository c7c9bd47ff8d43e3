#include "FeatureQuery.h"

#include "CProduct.h"

#include "base/StringUtils.h"

#include <cstring>
#include <vector>

const FeatureQuery kFeatureQueriesFirst[8] = {
    {"TRM?", 1},    {"CBLTBL?", 2}, {"ACTSTA?", 3}, {"PLGENA?", 4},
    {"IMGSNP?", 5}, {"C39ENA?", 6}, {"IDMENA?", 7}, {"PDFENA?", 8},
};

const FeatureQuery kFeatureQueriesSecond[8] = {
    {"OCRENA?", 9},  {"CPCENA?", 10}, {"NETCKX?", 11}, {"BASLDA", 12},
    {"RPTSCN?", 13}, {"P_INFO?", EFS_FLASH_DLL_SUPPORT}, {"COMPID?", EFS_COMPID}, {"CURTBL?", EFS_WORKGROUP},
};

const FeatureQuery kFeatureQueries[16] = {
    {"TRM?", 1},     {"CBLTBL?", 2},  {"ACTSTA?", 3},  {"PLGENA?", 4},
    {"IMGSNP?", 5},  {"C39ENA?", 6},  {"IDMENA?", 7},  {"PDFENA?", 8},
    {"OCRENA?", 9},  {"CPCENA?", 10}, {"NETCKX?", 11}, {"BASLDA", 12},
    {"RPTSCN?", 13}, {"P_INFO?", EFS_FLASH_DLL_SUPPORT}, {"COMPID?", EFS_COMPID}, {"CURTBL?", EFS_WORKGROUP},
};

std::string featureQueryText(const FeatureQuery& entry)
{
    return std::string(entry.query, strnlen(entry.query, sizeof entry.query));
}

std::string featureReplyKey(const FeatureQuery& entry)
{
    std::string text = featureQueryText(entry);
    if (text.size() > 6) {
        return text.substr(0, 6);
    }
    if (!text.empty() && (text.back() == '?' || text.back() == '*')) {
        text.pop_back();
    }
    return text;
}

void applyFeatureBatchReply(CProduct& product, const FeatureQuery* table, int count, std::string reply)
{
    if (table == nullptr || count <= 0) {
        return;
    }
    if (!reply.empty() && (reply.back() == '@' || reply.back() == '!' || reply.back() == '.')) {
        reply.pop_back();
    }
    std::vector<std::string> pieces;
    if (splitString(reply, ";", pieces, false) == 0 && !reply.empty()) {
        // A batch of one query is answered without a separator.
        pieces.push_back(reply);
    }
    for (int i = 0; i < count && !pieces.empty(); ++i) {
        const FeatureQuery& entry = table[i];
        if (product.hasFeature(entry.id)) {
            continue;
        }
        const std::string key = featureReplyKey(entry);
        for (auto it = pieces.begin(); it != pieces.end(); ++it) {
            if (it->compare(0, key.size(), key) != 0) {
                continue;
            }
            const auto last = static_cast<unsigned char>(it->back());
            if (last == 0x06 || last == 0x15) {
                product.features.push_back(entry.id);
                pieces.erase(it);
                break;
            }
        }
    }
}
