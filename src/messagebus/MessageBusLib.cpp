// Loading of the bus library, opening of its handle, and forwarding to the shim over it.
#include "messagebus/MessageBusLib.h"

#include "common/KnownFolder.h"
#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "message/ModuleException.h"
#include "messagebus/HearthInstallDir.h"
#include "messagebus/MessageBusConstants.h"
#include "messagebus/MessageBusShimImpl.h"
#include "messagebus/PerfTimer.h"
#include "messagebus/SharedLibrary.h"

#include <knownfolders.h>

namespace Tessel {
namespace {

// Exports come back as untyped procedures; going through void(*)() keeps the cast well-defined
// and quiet.
template <typename Fn>
Fn procAs(DllAPI::Proc proc)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

std::wstring commonProgramFilesHearth()
{
    std::wstring folder;
    Keelwork::knownFolderPath(FOLDERID_ProgramFilesCommon, folder);
    return folder + kHearthCommonSubfolder;
}

} // namespace

LibraryDescription defaultMessageBusDescription()
{
    return {kMessageBusFileName, {L"$(App.Folder)", L"$(Hearth.InstallDir)"}};
}

LibraryDescription loadFromRegistry()
{
    HearthInstallDir installDir = readHearthInstallDir();
    if (installDir.folder.empty()) {
        if (installDir.wow64)
            KSLOG_ERROR(L"Failed to retrieve HearthC WoW64 path from registry");
        else
            KSLOG_ERROR(L"Failed to retrieve HearthC path from registry");
        installDir.folder = commonProgramFilesHearth();
    }
    KSLOG_INFO(L"Loading MesageBusLib by force from path: %s", installDir.folder.c_str());
    return {kMessageBusFileName, {installDir.folder}};
}

MessageBusLib::MessageBusLib(std::shared_ptr<SharedLibrary> library, std::shared_ptr<MessageBusShim> shim)
    : m_library(std::move(library)), m_shim(std::move(shim))
{
    internal::PerfTimer timer(L"MessageBusLib::MessageBusLib");
    if (!m_library) {
        LibraryDescription description = defaultMessageBusDescription();
        if (description.searchDirectories.empty())
            description = loadFromRegistry();
        m_library = std::make_shared<SharedLibrary>(std::move(description));
    }

    m_functions = procAs<MessageBusCreateObjectFn>(m_library->createObject())(kModuleVersionNumber);
    if (!m_functions) {
        KSLOG_ERROR(L"Failed to get message bus functions object. Throwing ModuleException.");
        throw ModuleException("Failed to get message bus functions object");
    }

    ModuleStatus status = m_functions->open(&m_handle);
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to get message bus handle. Error code: %ls(%lu). Throwing ModuleException.",
                    moduleStatusName(status), static_cast<unsigned long>(status));
        throw ModuleException("Failed to get message bus handle");
    }

    if (!m_shim)
        m_shim = std::make_shared<MessageBusShimImpl>(m_handle, m_functions);
}

MessageBusLib::~MessageBusLib()
{
    // Releasing settles this handle's pending requests through the reply trampoline, so whoever
    // owns the reply callable must still be alive here.
    ModuleStatus status = m_functions->release(m_handle);
    m_shim.reset();
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_WARNING(L"Failed to release message bus. Error code %ls(%lu).", moduleStatusName(status),
                      static_cast<unsigned long>(status));
        // The handle is still open (the bus's own worker, ending its last client, cannot join
        // itself), so the library's code may be running on this very thread: it stays loaded.
        new std::shared_ptr<SharedLibrary>(std::move(m_library));
    }
    m_library.reset();
}

ModuleStatus MessageBusLib::publish(const std::shared_ptr<Message>& message, bool secondChannel)
{
    return m_shim->publish(message, secondChannel);
}

ModuleStatus MessageBusLib::request(const std::shared_ptr<Message>& message, uint64_t replyIndex,
                                    ReplyFunction* replyFunction, uint32_t timeoutMs, bool secondChannel)
{
    return m_shim->request(message, replyIndex, replyFunction, timeoutMs, secondChannel);
}

void MessageBusLib::handOverReplyTrampoline()
{
    m_shim->handOverReplyTrampoline();
}

MessageBusSubscription MessageBusLib::subscribe(const std::wstring& name, MessageCallback* context)
{
    return m_shim->subscribe(name, context);
}

MessageBusSubscription MessageBusLib::subscribeFilter(const std::wstring& pattern, MessageCallback* context)
{
    return m_shim->subscribeFilter(pattern, context);
}

void MessageBusLib::unsubscribe(MessageBusSubscription subscription)
{
    m_shim->unsubscribe(subscription);
}

} // namespace Tessel
