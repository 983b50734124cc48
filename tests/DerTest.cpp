#include "crypto/Der.h"
#include "KeyTestUtil.h"
#include "TestHelpers.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

using namespace keytest;

enum Action { ELEMENT, UNSIGNED, SMALL, NULL_VALUE, BITS, ENTER_SEQUENCE, ENTER_INTEGER, TREE };

// Reads `hex` with one call of the reader and describes the outcome: "fail", or what was
// read followed by " end" when DerReaderEnd then holds (nothing left, nothing failed) and
// " more" when bytes are left.
std::string Read(std::string hex, Action action) {
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    const std::string input = Unhex(hex);
    DerReader reader;
    DerReaderInit(&reader, U8(input), input.size());
    std::string read;
    DerElement element;
    DerReader inner;
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    uint32_t value = 0;
    int ok = 0;
    switch (action) {
    case ELEMENT:
        ok = DerReadElement(&reader, &element);
        read = ok ? Hex(&element.tag, 1) + ":" + Hex(element.content, element.length) : "";
        break;
    case UNSIGNED:
        ok = DerReadUnsigned(&reader, &bytes, &size);
        read = ok ? Hex(bytes, size) : "";
        break;
    case SMALL:
        ok = DerReadSmallUnsigned(&reader, &value);
        read = std::to_string(value);
        break;
    case NULL_VALUE:
        ok = DerReadNull(&reader);
        read = "null";
        break;
    case BITS:
        ok = DerReadBitStringBytes(&reader, &bytes, &size);
        read = ok ? "bits:" + Hex(bytes, size) : "";
        break;
    case ENTER_SEQUENCE:
    case ENTER_INTEGER:
        // The sequence's contents must be one small INTEGER.
        ok = DerEnter(&reader, action == ENTER_SEQUENCE ? kDerSequence : kDerInteger, &inner) &&
             DerReadSmallUnsigned(&inner, &value) && DerReaderEnd(&inner);
        read = "seq:" + std::to_string(value);
        break;
    case TREE:
        return DerCheckTree(U8(input), input.size(), 0) ? "tree" : "fail";
    }
    if (!ok) {
        // A failed read fails every later one.
        EXPECT_EQ(0, DerReadElement(&reader, &element));
        EXPECT_EQ(0, DerReaderEnd(&reader));
        return "fail";
    }
    return read + (DerReaderEnd(&reader) ? " end" : " more");
}

std::string Repeat(const std::string& hex, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += hex;
    return out;
}

// Every rule of the reader, each broken once, beside the nearest form it takes.
TEST(DerReader, TakesDerAndRefusesEverythingElse) {
    const std::string f128 = Repeat("ab", 128);
    const std::string f256 = Repeat("ab", 256);
    const std::tuple<const char*, std::string, Action, std::string> cases[] = {
        // Tags and lengths.
        {"empty element", "0500", ELEMENT, "05: end"},
        {"short form", "0401aa", ELEMENT, "04:aa end"},
        {"longest short form", "047f" + Repeat("ab", 127), ELEMENT,
         "04:" + Repeat("ab", 127) + " end"},
        {"long form from 128", "048180" + f128, ELEMENT, "04:" + f128 + " end"},
        {"two length bytes", "04820100" + f256, ELEMENT, "04:" + f256 + " end"},
        {"trailing byte", "0401aaff", ELEMENT, "04:aa more"},
        {"nothing", "", ELEMENT, "fail"},
        {"tag alone", "04", ELEMENT, "fail"},
        {"contents cut", "0402aa", ELEMENT, "fail"},
        {"length bytes cut", "0482 01", ELEMENT, "fail"},
        {"long form no bytes", "0481", ELEMENT, "fail"},
        {"indefinite length", "048001aa0000", ELEMENT, "fail"},
        {"long form under 128", "048101aa", ELEMENT, "fail"},
        {"long form 127", "04817f" + Repeat("ab", 127), ELEMENT, "fail"},
        {"length with leading zero", "04820080" + f128, ELEMENT, "fail"},
        {"five length bytes", "0485 0000000001 aa", ELEMENT, "fail"},
        {"reserved length", "04ff", ELEMENT, "fail"},
        {"length beyond input", "0484ffffffff00", ELEMENT, "fail"},
        {"high tag number", "1f0100", ELEMENT, "fail"},
        {"end of contents tag", "0000", ELEMENT, "fail"},
        // INTEGER as a non-negative magnitude.
        {"zero", "020100", UNSIGNED, "00 end"},
        {"small", "02017f", UNSIGNED, "7f end"},
        {"sign byte dropped", "02020080", UNSIGNED, "80 end"},
        {"longer", "02030080ff", UNSIGNED, "80ff end"},
        {"negative", "020180", UNSIGNED, "fail"},
        {"needless zero", "0202007f", UNSIGNED, "fail"},
        {"zero in two bytes", "02020000", UNSIGNED, "fail"},
        {"needless ff", "0202ff80", UNSIGNED, "fail"},
        {"empty integer", "0200", UNSIGNED, "fail"},
        {"integer cut", "0202 01", UNSIGNED, "fail"},
        {"wrong tag", "040101", UNSIGNED, "fail"},
        {"constructed tag", "2203 020101", UNSIGNED, "fail"},
        {"integer then more", "020101 0500", UNSIGNED, "01 more"},
        // Versions.
        {"version 0", "020100", SMALL, "0 end"},
        {"largest small", "020500ffffffff", SMALL, "4294967295 end"},
        {"2^31 - 1", "02047fffffff", SMALL, "2147483647 end"},
        {"2^32", "02050100000000", SMALL, "fail"},
        {"small negative", "0201ff", SMALL, "fail"},
        // NULL.
        {"null", "0500", NULL_VALUE, "null end"},
        {"null with contents", "050100", NULL_VALUE, "fail"},
        {"not null", "0400", NULL_VALUE, "fail"},
        // BIT STRING of whole bytes.
        {"empty bit string", "030100", BITS, "bits: end"},
        {"bit string", "030300abcd", BITS, "bits:abcd end"},
        {"unused bits", "030201aa", BITS, "fail"},
        {"bit string without count", "0300", BITS, "fail"},
        {"octet string as bits", "040100", BITS, "fail"},
        {"constructed bit string", "2303 030100", BITS, "fail"},
        // Entering constructed elements.
        {"sequence", "3003020105", ENTER_SEQUENCE, "seq:5 end"},
        {"sequence then more", "3003020105 00", ENTER_SEQUENCE, "seq:5 more"},
        {"inner trailing byte", "3004020105ff", ENTER_SEQUENCE, "fail"},
        {"inner cut", "3003020205", ENTER_SEQUENCE, "fail"},
        {"set is no sequence", "3103020105", ENTER_SEQUENCE, "fail"},
        {"primitive sequence tag", "1003020105", ENTER_SEQUENCE, "fail"},
        {"primitive tag asked", "020105", ENTER_INTEGER, "fail"},
        // Whole trees.
        {"empty tree", "", TREE, "tree"},
        {"series", "0500 0401aa 3000", TREE, "tree"},
        {"nested", "a0 07 3105 3003 0500 00", TREE, "fail"},
        {"nested ok", "a0 07 3105 3003 020101", TREE, "tree"},
        {"primitive contents not read", "0402 3080", TREE, "tree"},
        {"bad inside constructed", "3002 0480", TREE, "fail"},
        {"indefinite inside", "3004 3080 0000", TREE, "fail"},
        {"cut at the end", "0500 04", TREE, "fail"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(std::get<3>(c), Read(std::get<1>(c), std::get<2>(c))) << std::get<0>(c);
    }
}

// kDerMaxDepth levels of SEQUENCE are read, one more is refused, by DerEnter and by
// DerCheckTree alike.
TEST(DerReader, NestingStopsAtTheLimit) {
    for (int levels : {kDerMaxDepth, kDerMaxDepth + 1}) {
        std::string nested = Unhex("0500");
        for (int i = 0; i < levels; ++i)
            nested = Tlv(kDerSequence, nested);
        const int within = levels <= kDerMaxDepth;
        EXPECT_EQ(within, DerCheckTree(U8(nested), nested.size(), 0)) << levels;
        if (within) {
            // A starting depth counts towards the limit.
            EXPECT_EQ(1, DerCheckTree(U8(nested), nested.size(), kDerMaxDepth - levels));
            EXPECT_EQ(0, DerCheckTree(U8(nested), nested.size(), kDerMaxDepth - levels + 1));
        }
        DerReader readers[kDerMaxDepth + 2];
        DerReaderInit(&readers[0], U8(nested), nested.size());
        int entered = 0;
        while (entered < levels && DerEnter(&readers[entered], kDerSequence, &readers[entered + 1]))
            ++entered;
        EXPECT_EQ(std::min(levels, kDerMaxDepth), entered);
        EXPECT_EQ(within, DerReadNull(&readers[entered]) && DerReaderEnd(&readers[entered]));
    }
    EXPECT_EQ(0, DerCheckTree(nullptr, 0, -1));
    EXPECT_EQ(0, DerCheckTree(nullptr, 0, kDerMaxDepth + 1));
}

std::string Written(void (*put)(DerWriter*, const std::string&), const std::string& arg) {
    DerWriter counter;
    DerWriterInit(&counter, nullptr, 0);
    put(&counter, arg);
    const size_t needed = DerWriterResult(&counter);
    // Exactly the counted size is written, and one byte less writes nothing useful.
    std::vector<uint8_t> buffer(needed + 4, 0xEE);
    DerWriter writer;
    DerWriterInit(&writer, buffer.data(), needed - 1);
    put(&writer, arg);
    EXPECT_EQ(0u, DerWriterResult(&writer));
    DerWriterInit(&writer, buffer.data(), needed);
    put(&writer, arg);
    EXPECT_EQ(needed, DerWriterResult(&writer));
    EXPECT_EQ("eeeeeeee", Hex(buffer.data() + needed, 4));
    return Hex(buffer.data(), needed);
}

void PutHeader(DerWriter* w, const std::string& n) {
    DerPutHeader(w, kDerOctetString, std::stoul(n));
}
void PutUnsigned(DerWriter* w, const std::string& hex) {
    const std::string bytes = Unhex(hex);
    DerPutUnsigned(w, U8(bytes), bytes.size());
}
void PutSmall(DerWriter* w, const std::string& n) {
    DerPutSmallUnsigned(w, static_cast<uint32_t>(std::stoul(n)));
}

// Lengths at each boundary of the length field, and INTEGERs at each sign boundary.
TEST(DerWriter, ShortestFormsAtEachBoundary) {
    const std::tuple<void (*)(DerWriter*, const std::string&), const char*, const char*> cases[] = {
        {PutHeader, "0", "0400"},           {PutHeader, "127", "047f"},
        {PutHeader, "128", "048180"},       {PutHeader, "255", "0481ff"},
        {PutHeader, "256", "04820100"},     {PutHeader, "65535", "0482ffff"},
        {PutHeader, "65536", "0483010000"}, {PutHeader, "16777216", "048401000000"},
        {PutUnsigned, "", "020100"},        {PutUnsigned, "0000", "020100"},
        {PutUnsigned, "01", "020101"},      {PutUnsigned, "7f", "02017f"},
        {PutUnsigned, "80", "02020080"},    {PutUnsigned, "0080", "02020080"},
        {PutUnsigned, "000001", "020101"},  {PutUnsigned, "ffff", "020300ffff"},
        {PutUnsigned, "7fff", "02027fff"},  {PutSmall, "0", "020100"},
        {PutSmall, "127", "02017f"},        {PutSmall, "128", "02020080"},
        {PutSmall, "65537", "0203010001"},  {PutSmall, "4294967295", "020500ffffffff"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(std::get<2>(c), Written(std::get<0>(c), std::get<1>(c)));
    }
}

} // namespace
