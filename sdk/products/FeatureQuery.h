// The configuration queries that tell which features a product has, each
// paired with its feature identifier, and the reading of a batch reply
// (several queries sent as one ";"-separated menu command).
#pragma once

#include <string>

class CProduct;

struct FeatureQuery {
    // The query, zero-padded.
    char query[12];
    int id;
};

// Ids 1 to 8, and ids 9 to 15 and 17: the two batches that discovery sends.
extern const FeatureQuery kFeatureQueriesFirst[8];
extern const FeatureQuery kFeatureQueriesSecond[8];
// All sixteen in order, for products queried one feature at a time.
extern const FeatureQuery kFeatureQueries[16];

// The query's text (up to its padding).
std::string featureQueryText(const FeatureQuery& entry);
// What the reply piece of the query begins with: the first six characters
// of a longer query, else the query less a final '?' or '*'.
std::string featureReplyKey(const FeatureQuery& entry);

// Adds to `product` the ids of `table` (count entries) that a batch reply
// confirms: a piece of the reply (split at ";" after a final storage mark
// is dropped) that begins with the entry's key and ends with ACK or NAK.
// Each piece confirms one entry at most; ids the product already holds are
// not added again. A reply without any ";" is one piece.
void applyFeatureBatchReply(CProduct& product, const FeatureQuery* table, int count, std::string reply);
