#pragma once
// A fresh, empty database for one test of either storage: an SQLite file in a folder of its own, or a
// schema of its own in the tests' PostgreSQL cluster (scripts/pg-cluster.sh, started by ctest; its
// folder comes in WL_TEST_PG_DIR). A schema costs milliseconds where a database would cost a copy of
// the template, and the URI's search_path puts every table of the store into it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "PgConnection.h"
#include "TPostgresStore.h"
#include "TSqliteStore.h"
#include "TempDir.h"

namespace wl::test {

enum class TStorageKind { Sqlite, Postgres };

inline auto AllStorages() {
    return testing::Values(TStorageKind::Sqlite, TStorageKind::Postgres);
}

inline std::string KindName(TStorageKind kind) {
    return kind == TStorageKind::Sqlite ? "Sqlite" : "Postgres";
}

// Names a test case after its storage ("Sqlite", "Postgres"): ctest gives the PostgreSQL ones the
// cluster by that name.
inline std::string StorageName(const testing::TestParamInfo<TStorageKind>& info) {
    return KindName(info.param);
}

// The tests' cluster: a file of the folder WL_TEST_PG_DIR names ("uri", "password-uri", "password").
inline std::string PgClusterFile(const std::string& name) {
    const char* dir = std::getenv("WL_TEST_PG_DIR");
    if (dir == nullptr || *dir == '\0')
        throw std::runtime_error(
            "WL_TEST_PG_DIR is not set: run the PostgreSQL tests through ctest, or start a cluster with "
            "scripts/pg-cluster.sh start DIR and set WL_TEST_PG_DIR=DIR");
    std::ifstream file(std::string(dir) + "/" + name);
    std::string line;
    if (!std::getline(file, line) || line.empty())
        throw std::runtime_error("no PostgreSQL test cluster in " + std::string(dir) + " (missing " + name +
                                 ")");
    return line;
}

// `uri` with every table in `schema`.
inline std::string WithSchema(const std::string& uri, const std::string& schema) {
    return uri + (uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
}

class TTestStorage {
  public:
    explicit TTestStorage(TStorageKind kind) : kind_(kind) {
        if (kind_ == TStorageKind::Sqlite) {
            db_ = dir_.File("sync.db");
            return;
        }
        clusterUri_ = PgClusterFile("uri");
        std::random_device random;
        schema_ = "test_" + std::to_string(random()) + "_" + std::to_string(random());
        TPgConnection cluster(clusterUri_);
        cluster.Query("CREATE SCHEMA " + schema_);
        cluster.Query("GRANT ALL ON SCHEMA " + schema_ + " TO PUBLIC");
        db_ = WithSchema(clusterUri_, schema_);
    }
    ~TTestStorage() {
        if (schema_.empty()) return;
        try {
            TPgConnection(clusterUri_).Query("DROP SCHEMA " + schema_ + " CASCADE");
        } catch (const std::exception&) {
        }
    }
    TTestStorage(const TTestStorage&) = delete;
    TTestStorage& operator=(const TTestStorage&) = delete;

    TStorageKind Kind() const { return kind_; }
    // The --db value of the program.
    const std::string& Db() const { return db_; }
    const std::string& Schema() const { return schema_; }
    // A folder for the test's other files.
    const TTempDir& Dir() const { return dir_; }

    std::unique_ptr<TSyncStore> Open() const {
        if (kind_ == TStorageKind::Sqlite) return std::make_unique<TSqliteStore>(db_);
        return std::make_unique<TPostgresStore>(db_);
    }

    // Everything the database holds, as bytes (the file and its log) or as the rows' text.
    std::string StoredBytes() const {
        if (kind_ == TStorageKind::Postgres) {
            std::string rows;
            for (const std::string& row :
                 TPgConnection(db_).Query("SELECT p::text FROM pages p UNION ALL SELECT d::text FROM days d"))
                rows += row;
            return rows;
        }
        std::string bytes;
        for (const char* suffix : {"", "-wal"}) {
            std::ifstream file(db_ + suffix, std::ios::binary);
            bytes.append(std::istreambuf_iterator<char>(file), {});
        }
        return bytes;
    }

  private:
    TStorageKind kind_;
    TTempDir dir_;
    std::string clusterUri_;
    std::string schema_;
    std::string db_;
};

}  // namespace wl::test
