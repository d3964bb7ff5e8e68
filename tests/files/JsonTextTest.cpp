// The text of a document in the interchange form: anything that is not
// JSON is the file's fault and is refused with the file's name, never with
// a library exception of another kind; what the interchange writer writes
// reads back.

#include <gtest/gtest.h>

#include "common/Console.h"
#include "common/MathError.h"
#include "document/Document.h"
#include "files/JsonDocument.h"
#include "files/JsonText.h"

namespace {

struct BadText {
    const char* why;
    std::string text;
};

const BadText kBad[] = {
    {"a number beyond a double (found by the JSON reader's fuzz target)", "11776e1114111"},
    {"a negative number beyond a double", "[-1e400]"},
    {"cut short", "{\"type\": 3"},
    {"empty", ""},
    {"not UTF-8", "\"\xFD\""},
};

TEST(JsonText, TextThatIsNotJsonIsRefusedWithTheFilesName) {
    for (const BadText& bad : kBad) {
        try {
            (void)files::ParseJsonText(bad.text, "in.json");
            ADD_FAILURE() << bad.why << ": accepted";
        } catch (const UserError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("in.json: not a JSON document (", 0), 0u) << bad.why << ": " << e.what();
        }
    }
}

TEST(JsonText, JsonIsTakenAsItStands) {
    EXPECT_EQ(files::ParseJsonText(R"({"type": 3, "lines": [1.5e300]})", "in.json"),
              (nlohmann::json{{"type", 3}, {"lines", {1.5e300}}}));
}

// Found by the JSON reader's fuzz target: a package given without its
// creation time was written back with a time of zeros that the reader
// refused, so srvtool could not read what it had written.
TEST(JsonText, APackageWithoutACreationTimeComesBackWithout) {
    Console console;
    Document doc(console);
    files::ReadJsonDocument(files::ParseJsonText(R"({"type": 0, "packages": [{"type": 0, "method": 1}]})", "in.json"),
                            doc);
    ASSERT_EQ(doc.packages().size(), 1u);
    EXPECT_EQ(doc.packages()[0]->created, SystemTime{});
    Console againConsole;
    Document again(againConsole);
    files::ReadJsonDocument(files::DocumentToJson(doc), again);
    ASSERT_EQ(again.packages().size(), 1u);
    EXPECT_EQ(again.packages()[0]->created, SystemTime{});
}

// Found by the JSON reader's fuzz target: a creation time with a sign in
// its year was taken, wrapped round to year 65512, and written back as a
// time of 24 characters that the reader refused.
TEST(JsonText, ACreationTimeIsDigitsWhereTheFormHasDigits) {
    for (const char* created : {"-024-05-15T10:30:00.000", "+2024-5-15T10:30:00.000", "2024-05-15T10:30: 0.000"}) {
        Console console;
        Document doc(console);
        const std::string text = std::string(R"({"type": 0, "packages": [{"created": ")") + created + R"("}]})";
        EXPECT_THROW(files::ReadJsonDocument(files::ParseJsonText(text, "in.json"), doc), UserError) << created;
    }
}

// The document file keeps whatever time a package was stored with; a month
// 13 opened from it must come back from its JSON form as it was (the day of
// week, which no such date has, as 0), not be refused.
TEST(JsonText, ACreationTimeThatIsNoDateComesBackAsItWas) {
    const SystemTime kTimes[] = {
        {2026, 13, 0, 5, 10, 30, 15, 250},
        {2026, 2, 0, 30, 24, 61, 61, 999},
    };
    for (const SystemTime& time : kTimes) {
        Console console;
        Document doc(console);
        ASSERT_TRUE(doc.create(1));
        doc.addPackage(PackageType::Verification, Method::Mass)->created = time;
        const nlohmann::json form = files::DocumentToJson(doc);
        Console againConsole;
        Document again(againConsole);
        files::ReadJsonDocument(form, again);
        ASSERT_EQ(again.packages().size(), 1u);
        EXPECT_EQ(again.packages()[0]->created, time) << time.toIso();
        EXPECT_EQ(files::DocumentToJson(again), form);
    }
}

}  // namespace
