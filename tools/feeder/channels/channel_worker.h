// One mapped channel, on a thread of its own so that its trouble never holds up
// another: watches for the host, opens the source while the host stays, and
// moves through the states of channel_states.h.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "channel_pipe.h"
#include "channel_states.h"
#include "delivery_ledger.h"
#include "driver_gate.h"
#include "feeder_options.h"
#include "status_board.h"
#include "stream_pump.h"

class ChannelWorker {
public:
    ChannelWorker(const ChannelMapping& mapping, StatusBoard* board, const DriverGate* gate, HANDLE hStop);
    ~ChannelWorker();
    ChannelWorker(const ChannelWorker&) = delete;
    ChannelWorker& operator=(const ChannelWorker&) = delete;

    bool Start();
    // True once the thread has ended, waiting at most timeoutMs for it.
    bool Join(DWORD timeoutMs);
    uint32_t Channel() const { return m_channel; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    ChannelEvent Next(std::string* detail);
    ChannelEvent Watch(std::string* detail);
    ChannelEvent OpenSource(std::string* detail);
    ChannelEvent Stream(std::string* detail);
    void Move(ChannelEvent event, std::string detail);
    std::string Enter(ChannelState from, ChannelState to, const std::string& detail);
    void EndVisit();
    void Publish();

    uint32_t                        m_channel;
    std::shared_ptr<SourceConfig>   m_config;
    StatusBoard*                    m_board;
    const DriverGate*               m_gate;
    HANDLE                          m_hStop;
    HANDLE                          m_hThread = NULL;
    ChannelState                    m_state = ChannelState::WATCHING;
    ChannelPipe                     m_pipe;
    std::unique_ptr<Source>         m_source;
    DeliveryLedger                  m_ledger;
    StreamPump                      m_pump;
    ChannelFigures                  m_figures;
    double                          m_backoffSeconds;
    uint64_t                        m_dropsBefore = 0;  // of sources already closed
};
