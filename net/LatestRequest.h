#pragma once

#include <QtGlobal>

// Ties replies to the newest request of one kind that a page or form made on its own behalf.
// Each request takes a ticket; a reply applies only while its ticket is still the latest, so a
// slower, older reply that lands last changes nothing.
class LatestRequest
{
public:
    using Ticket = quint64;

    // The ticket of a new request; every earlier one is stale from now on.
    Ticket next() { return ++latestTicket; }
    // The ticket of the newest request (for follow-up requests of the same run).
    Ticket latest() const { return latestTicket; }
    bool isCurrent(Ticket ticket) const { return ticket == latestTicket; }
    // Nothing asked so far is wanted any more (the author went back, the form moved on).
    void dropAll() { ++latestTicket; }

private:
    Ticket latestTicket = 0;
};
