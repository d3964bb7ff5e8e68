// The archive on both backends: record, find, get back, unchanged saves,
// migration from the first schema.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

#include "ArchiveSupport.h"
#include "SampleDocuments.h"
#include "archive/Archive.h"
#include "devices/Ident.h"
#include "document/Limits.h"
#include "link/RegKey.h"

namespace {

using archive::Archive;
using archive::Filter;
using archive::Row;

archive::Submission submissionOf(const SampleDocument& sample, std::int64_t savedMs, const std::string& path) {
    archive::Submission s;
    s.path = path;
    s.bytes = SampleDocumentBytes(sample);
    s.savedMs = savedMs;
    s.user = "tester";
    s.host = "bench-1";
    return s;
}

std::vector<std::int64_t> idsOf(const std::vector<Row>& rows) {
    std::vector<std::int64_t> ids;
    for (const Row& r : rows) ids.push_back(r.id);
    return ids;
}

using ArchiveTest = OnBackend;

TEST_P(ArchiveTest, RecordsEveryPackageAndGivesTheDocumentBack) {
    Archive a(url);
    EXPECT_EQ(a.version(), Archive::CurrentVersion());
    const archive::Submission s = submissionOf({.serial = 4711, .packages = 3, .entries = 4}, 1'700'000'000'000, "/d/a.srv");
    const std::vector<std::int64_t> ids = a.store(s);
    ASSERT_EQ(ids.size(), 3u);

    const std::vector<Row> rows = a.find({});
    ASSERT_EQ(rows.size(), 3u);
    const archive::PreparedDocument prepared = archive::Prepare(s.bytes);
    for (const Row& r : rows) {
        const auto& p = prepared.packages[static_cast<std::size_t>(std::find(ids.begin(), ids.end(), r.id) - ids.begin())];
        EXPECT_EQ(r.serial, "00004711");
        EXPECT_EQ(r.model, p.model);
        EXPECT_EQ(r.typeCode, 25);
        EXPECT_EQ(r.diameter, "32");
        EXPECT_EQ(r.packageType, p.packageType);
        EXPECT_EQ(r.method, p.method);
        EXPECT_EQ(r.created, p.created);
        EXPECT_EQ(r.entries, 4);
        ASSERT_TRUE(r.errMin && r.errMax);
        EXPECT_DOUBLE_EQ(*r.errMin, *p.errMin);
        EXPECT_DOUBLE_EQ(*r.errMax, *p.errMax);
        EXPECT_LT(*r.errMin, *r.errMax);
        EXPECT_FALSE(r.pass);
        EXPECT_EQ(r.path, "/d/a.srv");
        EXPECT_EQ(r.sha256, archive::Sha256Hex(s.bytes));
        EXPECT_EQ(r.savedMs, 1'700'000'000'000);
        EXPECT_EQ(r.user, "tester");
        EXPECT_EQ(r.host, "bench-1");
        EXPECT_EQ(a.document(r.id), s.bytes);
    }
    EXPECT_EQ(a.document(999999), std::nullopt);
}

TEST_P(ArchiveTest, AnUnchangedSaveRecordsNothingAndAChangedPackageOneRecord) {
    Archive a(url);
    SampleDocument sample{.serial = 100, .packages = 2, .entries = 3};
    const archive::Submission first = submissionOf(sample, 1000, "/d/x.srv");
    ASSERT_EQ(a.store(first).size(), 2u);
    EXPECT_TRUE(a.store(submissionOf(sample, 2000, "/d/x.srv")).empty());
    EXPECT_TRUE(a.store(submissionOf(sample, 3000, "/elsewhere/copy.srv")).empty());

    // One more entry in the second package: that package alone is new.
    archive::Submission changed = first;
    {
        Console console;
        Document doc(console);
        std::istringstream in(first.bytes);
        files::ReadDocument(in, doc);
        doc.packages()[1]->addEntry();
        changed.bytes = files::DocumentBytes(doc);
        changed.savedMs = 4000;
    }
    const std::vector<std::int64_t> ids = a.store(changed);
    ASSERT_EQ(ids.size(), 1u);
    const std::vector<Row> rows = a.find({});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, ids[0]);
    EXPECT_EQ(rows[0].entries, 4);
    EXPECT_EQ(a.document(rows[0].id), changed.bytes);
    // The records of the first save keep the document as it was then.
    EXPECT_EQ(a.document(rows[1].id), first.bytes);
    EXPECT_EQ(a.document(rows[2].id), first.bytes);
}

TEST_P(ArchiveTest, FindsByEachFilterNewestFirst) {
    Archive a(url);
    struct Saved {
        int typeCode;
        std::uint32_t serial;
        std::uint8_t du;
        std::int64_t savedMs;
        std::optional<bool> pass;
    };
    const Saved saved[] = {
        // Factory numbers 012345678, 012349999, 012350000, 99123456, 01234567.
        {25, 12345678, 3, 1000, true},  {25, 12349999, 3, 2000, false}, {19, 12350000, 3, 3000, std::nullopt},
        {1, 99123456, 9, 4000, true},   {25, 1234567, 3, 5000, std::nullopt},
    };
    std::vector<std::int64_t> id;  // per saved document, one package each
    for (std::size_t i = 0; i < std::size(saved); ++i) {
        const archive::Submission s =
            submissionOf({.typeCode = saved[i].typeCode, .serial = saved[i].serial, .du = saved[i].du, .packages = 1, .entries = 2,
                          .seed = static_cast<int>(i)},
                         saved[i].savedMs, "/d/" + std::to_string(i) + ".srv");
        archive::PreparedDocument p = archive::Prepare(s.bytes);
        if (saved[i].pass) p.packages[0].verdict = archive::Verdict{*saved[i].pass, "±1,5 %"};
        const auto ids = a.store(s, p);
        ASSERT_EQ(ids.size(), 1u);
        id.push_back(ids[0]);
    }
    const std::string kelt = a.find({.serialPrefix = "012345678"}).at(0).model;

    struct Case {
        const char* name;
        Filter filter;
        std::vector<std::size_t> expected;  // indexes of `saved`, newest first
    };
    const Case cases[] = {
        {"everything", {}, {4, 3, 2, 1, 0}},
        {"serial prefix", {.serialPrefix = "01234"}, {4, 1, 0}},
        {"serial prefix of nines", {.serialPrefix = "99"}, {3}},
        {"serial prefix of one digit", {.serialPrefix = "0"}, {4, 2, 1, 0}},
        {"serial prefix ending in 9", {.serialPrefix = "0123499"}, {1}},
        {"whole serial", {.serialPrefix = "012350000"}, {2}},
        {"serial prefix matching none", {.serialPrefix = "5"}, {}},
        {"model", {.model = kelt}, {4, 1, 0}},
        {"time range, both ends included", {.fromMs = 2000, .toMs = 4000}, {3, 2, 1}},
        {"from", {.fromMs = 4001}, {4}},
        {"verdict pass", {.verdict = archive::VerdictFilter::Pass}, {3, 0}},
        {"verdict fail", {.verdict = archive::VerdictFilter::Fail}, {1}},
        {"no verdict", {.verdict = archive::VerdictFilter::None}, {4, 2}},
        {"filters together", {.serialPrefix = "0", .model = kelt, .toMs = 4999, .verdict = archive::VerdictFilter::Pass}, {0}},
    };
    for (const Case& c : cases) {
        std::vector<std::int64_t> expected;
        for (std::size_t i : c.expected) expected.push_back(id[i]);
        EXPECT_EQ(idsOf(a.find(c.filter)), expected) << c.name;
    }
    EXPECT_EQ(a.find({.serialPrefix = "012345678"}).at(0).limits, "±1,5 %");
    EXPECT_THROW(a.find({.serialPrefix = "12%"}), archive::ArchiveError);
    EXPECT_EQ(a.models().size(), 3u);
}

// The statements of the first schema, run by hand: what an archive made by
// the first program holds.
void storeAsTheFirstSchema(const std::string& url, const archive::Submission& s) {
    const archive::Location l = archive::Location::Parse(url);
    const QString name = "first-schema";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(l.kind == archive::Location::Kind::SQLite ? "QSQLITE" : "QPSQL", name);
        if (l.kind == archive::Location::Kind::SQLite) {
            db.setDatabaseName(QString::fromStdString(l.path));
        } else {
            db.setHostName(QString::fromStdString(l.host));
            db.setPort(l.port);
            db.setUserName(QString::fromStdString(l.user));
            db.setDatabaseName(QString::fromStdString(l.database));
        }
        ASSERT_TRUE(db.open());
        const archive::PreparedDocument p = archive::Prepare(s.bytes);
        QSqlQuery q(db);
        q.prepare("INSERT INTO documents (sha256, size, content) VALUES (?, ?, ?)");
        q.addBindValue(QString::fromStdString(p.sha256));
        q.addBindValue(static_cast<qint64>(s.bytes.size()));
        q.addBindValue(qCompress(QByteArray::fromStdString(s.bytes)));
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        const auto& r = p.packages.at(0);
        q.prepare("INSERT INTO records (pkey, type_code, model, serial, du, diameter, package_type, method, created, "
                  "entries, err_min, err_max, lines, path, sha256, saved, login, host) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const QVariant& v : {QVariant(QString::fromStdString(r.key)), QVariant(r.typeCode),
                                  QVariant(QString::fromStdString(r.model)), QVariant(QString::fromStdString(r.serial)),
                                  QVariant(r.du), QVariant(QString::fromStdString(r.diameter)), QVariant(r.packageType),
                                  QVariant(r.method), QVariant(QString::fromStdString(r.created)), QVariant(r.entries),
                                  QVariant(*r.errMin), QVariant(*r.errMax), QVariant(QString::fromStdString(r.lines)),
                                  QVariant(QString::fromStdString(s.path)), QVariant(QString::fromStdString(p.sha256)),
                                  QVariant(static_cast<qint64>(s.savedMs)), QVariant(QString::fromStdString(s.user)),
                                  QVariant(QString::fromStdString(s.host))})
            q.addBindValue(v);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(name);
}

TEST_P(ArchiveTest, AnArchiveOfTheFirstSchemaIsBroughtUpToDate) {
    const archive::Submission old = submissionOf({.serial = 555, .packages = 1, .entries = 2}, 1000, "/old.srv");
    {
        Archive first(url, 1);
        EXPECT_EQ(first.version(), 1);
    }
    storeAsTheFirstSchema(url, old);

    Archive a(url);
    EXPECT_EQ(a.version(), Archive::CurrentVersion());
    const std::vector<Row> rows = a.find({.verdict = archive::VerdictFilter::None});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].serial, "00000555");
    EXPECT_FALSE(rows[0].pass);
    EXPECT_FALSE(rows[0].limits);
    EXPECT_EQ(a.document(rows[0].id), old.bytes);
    // The old record keeps its package: the same save again adds nothing.
    EXPECT_TRUE(a.store(old).empty());
    EXPECT_EQ(a.store(submissionOf({.serial = 556, .packages = 1, .entries = 2}, 2000, "/new.srv")).size(), 1u);
    // Opened again, nothing more to do.
    Archive again(url);
    EXPECT_EQ(again.find({}).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveTest, testing::Values(Backend::SQLite, Backend::PostgreSQL), backendName);

}  // namespace

namespace {

// A verification package is judged at its save against the limits kept for
// its model; a calibration package, and a model without limits, get none.
class ArchiveVerdictTest : public OnBackend {
protected:
    void SetUp() override {
        OnBackend::SetUp();
        RegKey::SetFileLocation(dir.file("settings.json"));
    }
    void TearDown() override { RegKey::SetFileLocation({}); }
};

TEST_P(ArchiveVerdictTest, VerificationPackagesAreJudgedByTheModelsLimits) {
    struct Case {
        const char* name;
        Limits limits;
        std::optional<bool> pass;
    };
    const Case cases[] = {
        {"no limits", Limits{}, std::nullopt},
        {"wide limits", Limits::ofZones({{0.0, 5.0}}), true},
        {"narrow limits", Limits::ofZones({{0.0, 0.001}}), false},
    };
    Archive a(url);
    std::uint32_t serial = 900;
    for (const Case& c : cases) {
        SaveLimits(25, c.limits);
        // Package 0 a calibration, package 1 a verification.
        const auto ids = a.store(submissionOf({.serial = ++serial, .packages = 2, .entries = 4}, serial, "/v.srv"));
        ASSERT_EQ(ids.size(), 2u) << c.name;
        const std::vector<Row> rows = a.find({.serialPrefix = SerialText(serial, 3)});
        ASSERT_EQ(rows.size(), 2u) << c.name;
        for (const Row& r : rows) {
            if (r.packageType == 0) {
                EXPECT_FALSE(r.pass) << c.name;
                continue;
            }
            EXPECT_EQ(r.pass, c.pass) << c.name;
            if (c.pass) EXPECT_EQ(r.limits, LimitsJson(c.limits)) << c.name;
            else EXPECT_FALSE(r.limits) << c.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveVerdictTest, testing::Values(Backend::SQLite, Backend::PostgreSQL), backendName);

}  // namespace
