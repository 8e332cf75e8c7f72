#pragma once
// A plain libpq connection to the tests' PostgreSQL cluster beside the service, so that a test can act
// as another instance or as an operator.
#include <libpq-fe.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace wl::test {

class TPgConnection {
  public:
    explicit TPgConnection(const std::string& uri) : connection_(PQconnectdb(uri.c_str()), &PQfinish) {
        PQsetNoticeProcessor(
            connection_.get(), [](void*, const char*) {}, nullptr);  // "drop cascades to ..."
        if (PQstatus(connection_.get()) != CONNECTION_OK)
            throw std::runtime_error(std::string("test database: ") + PQerrorMessage(connection_.get()));
    }

    // Runs one statement with text parameters; returns the first column of every row.
    std::vector<std::string> Query(const std::string& sql, const std::vector<std::string>& params = {}) {
        std::vector<const char*> values;
        for (const std::string& p : params) values.push_back(p.c_str());
        PGresult* result = PQexecParams(connection_.get(), sql.c_str(), static_cast<int>(values.size()),
                                        nullptr, values.data(), nullptr, nullptr, 0);
        const auto status = PQresultStatus(result);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            const std::string error = PQresultErrorMessage(result);
            PQclear(result);
            throw std::runtime_error("test database: " + error);
        }
        std::vector<std::string> rows;
        for (int i = 0; i < PQntuples(result); ++i) rows.emplace_back(PQgetvalue(result, i, 0));
        PQclear(result);
        return rows;
    }

    void Notify(const std::string& channel, const std::string& payload) {
        Query("SELECT pg_notify($1, $2)", {channel, payload});
    }

    // Ends the server side of every connection whose application name starts with `prefix`; returns how
    // many there were.
    std::size_t Terminate(const std::string& prefix) {
        return Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name LIKE $1",
                     {prefix + "%"})
            .size();
    }

  private:
    std::unique_ptr<PGconn, decltype(&PQfinish)> connection_;
};

}  // namespace wl::test
