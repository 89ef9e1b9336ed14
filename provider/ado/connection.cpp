#include "provider/ado/connection.h"

#include <filesystem>

#include "provider/ado/recordset.h"
#include "provider/error.h"

namespace dorvane::provider {
namespace fs = std::filesystem;

struct Connection::Impl {
    bool open = false;
    bool container = false;
    ConnectionSettings settings;
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
    if (m_impl->open) throw ProviderError(FoxError::FileInUse, "Operation is not allowed when the object is open.");
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
    m_impl->settings = std::move(settings);
    m_impl->container = container;
    m_impl->open = true;
}

long Connection::Execute(const std::string& statement) {
    if (!m_impl->open) throw ProviderError(FoxError::FileDoesNotExist, "Operation is not allowed when the object is closed.");
    throw ProviderError::make(FoxError::UnrecognizedPhrase);
}

std::shared_ptr<Recordset> Connection::OpenSchema(int schema) {
    if (!m_impl->open) throw ProviderError(FoxError::FileDoesNotExist, "Operation is not allowed when the object is closed.");
    throw ProviderError::make(FoxError::UnrecognizedPhrase);
}

int Connection::state() const { return m_impl->open ? kStateOpen : kStateClosed; }

void Connection::Close() {
    if (!m_impl->open) throw ProviderError(FoxError::FileDoesNotExist, "Operation is not allowed when the object is closed.");
    m_impl->open = false;
}

const ConnectionSettings& Connection::settings() const { return m_impl->settings; }
bool Connection::isContainer() const { return m_impl->container; }

}  // namespace dorvane::provider
