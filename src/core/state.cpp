#include "core/state.h"

namespace qvk {

InstallerState state;
CatalogueJob catalogueJob;
DownloadJob downloadJob;
InstallJob installJob;

void ResetState() {
    state = InstallerState();
    catalogueJob = CatalogueJob();
    downloadJob = DownloadJob();
    installJob = InstallJob();
}

}  // namespace qvk
