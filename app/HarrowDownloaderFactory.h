// The program's downloaders: each fetches one runtime's package into the work
// folder, over HTTP or BitTorrent as the address service answers.
#pragma once

#include "app/HarrowDownloader.h"

namespace Velora {

class VLHarrowDownloaderFactory : public IHarrowDownloaderFactory {
public:
    std::unique_ptr<IHarrowDownloader> Create() override;
};

} // namespace Velora
