#pragma once

#include "CCommandRouter.h"

class CRssReaderDoc;

// The document's own commands (updates and favourites), answered by the document behind
// the views: it runs them on its current selection and says when they apply.
class CDocumentCommands : public ICommandTarget
{
public:
    explicit CDocumentCommands(CRssReaderDoc* document) : m_document(document) {}

    bool HandlesCommand(Command id) const override;
    void RunCommand(Command id) override;
    void UpdateCommand(Command id, CommandState& state) override;

private:
    CRssReaderDoc* m_document;
};
