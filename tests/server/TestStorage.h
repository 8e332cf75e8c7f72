#pragma once
// A fresh, empty database for one test of either storage: an SQLite file in a folder of its own, or a
// database of its own in the tests' PostgreSQL cluster (scripts/pg-cluster.sh, started by ctest; its
// folder comes in WL_TEST_PG_DIR). A database of its own, not only a schema: the change notifications
// go to every listener of a database, and the tests running beside it use the same keys.
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

// `uri` naming `database` instead of its own.
inline std::string WithDatabase(const std::string& uri, const std::string& database) {
    const auto scheme = uri.find("://");
    const auto query = uri.find('?');
    const std::string base = uri.substr(0, query);
    const std::string rest = query == std::string::npos ? "" : uri.substr(query);
    const auto slash = base.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return (slash == std::string::npos ? base : base.substr(0, slash)) + "/" + database + rest;
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
        database_ = "test_" + std::to_string(random()) + "_" + std::to_string(random());
        // Owned by the password role, so that the password tests may create the tables in it.
        TPgConnection(clusterUri_).Query("CREATE DATABASE " + database_ + " OWNER weekleaf_pw");
        db_ = WithDatabase(clusterUri_, database_);
    }
    ~TTestStorage() {
        if (database_.empty()) return;
        try {
            TPgConnection(clusterUri_).Query("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
        } catch (const std::exception&) {
        }
    }
    TTestStorage(const TTestStorage&) = delete;
    TTestStorage& operator=(const TTestStorage&) = delete;

    TStorageKind Kind() const { return kind_; }
    // The --db value of the program.
    const std::string& Db() const { return db_; }
    // The PostgreSQL database of the test ("" for SQLite).
    const std::string& Database() const { return database_; }
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
    std::string database_;
    std::string db_;
};

}  // namespace wl::test
