#include "net/MyDAO.h"

void MyDAO::removeQueuedJobs(const QString&, int) {}
