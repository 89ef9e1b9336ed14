#include "provider/ado/connection.h"

#include <filesystem>

#include "provider/ado/executor.h"
#include "provider/ado/recordset.h"
#include "provider/ado/source_catalog.h"
#include "provider/error.h"

namespace dorvane::provider {
namespace fs = std::filesystem;

struct Connection::Impl {
    bool open = false;
    bool container = false;
    ConnectionSettings settings;
    std::unique_ptr<Executor> executor;

    Executor& run() {
        if (!open) throw ProviderError::ado(kAdErrObjectClosed);
        return *executor;
    }
};

Connection::Connection() : m_impl(std::make_unique<Impl>()) {}
Connection::~Connection() = default;

namespace {

bool hasDbcExtension(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dbc";
}

}  // namespace

void Connection::Open(const std::string& connectionString) {
    withProviderErrors([&] { openSource(connectionString); });
}

void Connection::openSource(const std::string& connectionString) {
    if (m_impl->open) throw ProviderError::ado(kAdErrObjectOpen);
    ConnectionSettings settings = parseConnectionString(connectionString);
    if (settings.dataSource.empty()) throw ProviderError::make(FoxError::FileDoesNotExist);
    const fs::path source(settings.dataSource);
    std::error_code ec;
    const auto status = fs::status(source, ec);
    bool container = false;
    if (!ec && fs::is_directory(status)) {
        container = false;
    } else if (!ec && fs::is_regular_file(status) && hasDbcExtension(source)) {
        container = true;
    } else {
        throw ProviderError::make(FoxError::FileDoesNotExist, settings.dataSource);
    }
    std::unique_ptr<SourceCatalog> catalog =
        container ? openContainerCatalog(source) : openFolderCatalog(source);
    m_impl->executor = std::make_unique<Executor>(settings, std::move(catalog));
    m_impl->settings = std::move(settings);
    m_impl->container = container;
    m_impl->open = true;
}

long Connection::Execute(const std::string& statement) {
    return withProviderErrors([&] { return m_impl->run().execute(statement); });
}

std::shared_ptr<Recordset> Connection::OpenSchema(int schema) {
    return withProviderErrors([&] { return openSchema(schema); });
}

std::shared_ptr<Recordset> Connection::openSchema(int schema) {
    Executor& executor = m_impl->run();
    if (schema != kSchemaTables) throw ProviderError::ado(kAdErrFeatureNotAvailable);
    auto rows = std::make_shared<Recordset>();
    rows->openOver(executor.tablesSchema());
    return rows;
}

std::shared_ptr<RowSource> Connection::query(const std::string& select) {
    return withProviderErrors([&] { return m_impl->run().query(select); });
}

std::vector<std::string> Connection::foreignTriggers(const std::string& table) {
    return withProviderErrors([&] { return m_impl->run().foreignTriggers(table); });
}

int Connection::state() const {
    return m_impl->open ? kStateOpen : kStateClosed;
}

void Connection::Close() {
    if (!m_impl->open) throw ProviderError::ado(kAdErrObjectClosed);
    m_impl->open = false;
    // Closes the tables and releases their locks; a table that could not be flushed raises here.
    const std::unique_ptr<Executor> executor = std::move(m_impl->executor);
    withProviderErrors([&] { executor->close(); });
}

const ConnectionSettings& Connection::settings() const {
    return m_impl->settings;
}
bool Connection::isContainer() const {
    return m_impl->container;
}

}  // namespace dorvane::provider
