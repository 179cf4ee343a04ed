#include "CDocumentCommands.h"

#include "CRssReaderDoc.h"

namespace {

constexpr int kUpdateChannel = 32814;
constexpr int kUpdateGroup = 32815;
constexpr int kUpdateAllGroups = 32816;
constexpr int kAddToFavorites = 32837;
constexpr int kRemoveFromFavorites = 32853;

} // namespace

bool CDocumentCommands::HandlesCommand(int id) const
{
    if (!m_document)
        return false;
    switch (id) {
    case kUpdateChannel:
    case kUpdateGroup:
    case kUpdateAllGroups:
    case kAddToFavorites:
    case kRemoveFromFavorites:
        return true;
    default:
        return false;
    }
}

void CDocumentCommands::RunCommand(int id)
{
    switch (id) {
    case kUpdateChannel:
        if (m_document->CanUpdateChannel())
            m_document->UpdateChannel();
        break;
    case kUpdateGroup:
        if (m_document->CanUpdateGroup())
            m_document->UpdateGroup();
        break;
    case kUpdateAllGroups:
        m_document->UpdateAllGroups();
        break;
    case kAddToFavorites:
        if (m_document->CanAddToFavorites())
            m_document->AddToFavorites();
        break;
    case kRemoveFromFavorites:
        if (m_document->CanRemoveFromFavorites())
            m_document->RemoveFromFavorites();
        break;
    default:
        break;
    }
}

void CDocumentCommands::UpdateCommand(int id, CommandState& state)
{
    switch (id) {
    case kUpdateChannel:
        state.enabled = m_document->CanUpdateChannel();
        break;
    case kUpdateGroup:
        state.enabled = m_document->CanUpdateGroup();
        break;
    case kAddToFavorites:
        state.enabled = m_document->CanAddToFavorites();
        break;
    case kRemoveFromFavorites:
        state.enabled = m_document->CanRemoveFromFavorites();
        break;
    default:
        break;
    }
}
