#include "CDocumentCommands.h"

#include "CRssReaderDoc.h"

bool CDocumentCommands::HandlesCommand(Command id) const
{
    if (!m_document)
        return false;
    switch (id) {
    case Command::UpdateChannel:
    case Command::UpdateGroup:
    case Command::UpdateAllGroups:
    case Command::AddToFavorites:
    case Command::RemoveFromFavorites:
        return true;
    default:
        return false;
    }
}

void CDocumentCommands::RunCommand(Command id)
{
    switch (id) {
    case Command::UpdateChannel:
        if (m_document->CanUpdateChannel())
            m_document->UpdateChannel();
        break;
    case Command::UpdateGroup:
        if (m_document->CanUpdateGroup())
            m_document->UpdateGroup();
        break;
    case Command::UpdateAllGroups:
        m_document->UpdateAllGroups();
        break;
    case Command::AddToFavorites:
        if (m_document->CanAddToFavorites())
            m_document->AddToFavorites();
        break;
    case Command::RemoveFromFavorites:
        if (m_document->CanRemoveFromFavorites())
            m_document->RemoveFromFavorites();
        break;
    default:
        break;
    }
}

void CDocumentCommands::UpdateCommand(Command id, CommandState& state)
{
    switch (id) {
    case Command::UpdateChannel:
        state.enabled = m_document->CanUpdateChannel();
        break;
    case Command::UpdateGroup:
        state.enabled = m_document->CanUpdateGroup();
        break;
    case Command::AddToFavorites:
        state.enabled = m_document->CanAddToFavorites();
        break;
    case Command::RemoveFromFavorites:
        state.enabled = m_document->CanRemoveFromFavorites();
        break;
    default:
        break;
    }
}
