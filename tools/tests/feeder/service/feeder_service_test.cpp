// The feeder as a service under the system's service manager: installed, started,
// serving a host, stopped within its bound with the summary in its log, removed;
// and the installs and starts it must refuse.
#include "feeder_service_fixture.h"

namespace {

TEST_F(FeederService, InstalledItServesAHostStopsWithinTwoSecondsWithItsSummaryLoggedAndIsRemoved)
{
    const std::string a = StreamPath("clip_a.ts");
    const std::vector<uint8_t> fileA = ReadWholeFile(a);
    WriteMap("2 = file:" + a + "?pace=none\n5 = file:" + StreamPath("clip_b.ts") + "?loop\n");
    ASSERT_TRUE(Install());
    std::vector<DWORD> stops;
    {
        ScHandle service(OpenService());
        ASSERT_NE(service.Get(), nullptr) << GetLastError();
        SwitchingHost host;
        ASSERT_TRUE(host.Load()) << host.Error();
        for (int i = 0; i < STOPS_MEASURED; ++i) {
            ASSERT_TRUE(Start(service.Get()));
            if (i == 0) {
                ASSERT_TRUE(host.Select(2)) << host.Error();
                const Recording got = host.Drain(VISIT_LIMIT_SECONDS,
                                                 [&](const Recording& r) { return r.bytes.size() >= fileA.size(); });
                EXPECT_TRUE(got.bytes == fileA) << got.bytes.size() << " bytes against the file's " << fileA.size()
                                                << "; the log:\n" << ReadText(m_log);
                host.Leave();
                EXPECT_TRUE(LogHolds("channel 2: host left"));
            } else if (i == 1) {
                // Stopped while a host is on a paced channel and its pipe is full: the write must be abandoned.
                ASSERT_TRUE(host.Select(5)) << host.Error();
                // Running means the checks passed; the channels start after it, so bytes are awaited, not timed.
                EXPECT_FALSE(host.Drain(VISIT_LIMIT_SECONDS, [](const Recording& r) { return !r.bytes.empty(); })
                                 .bytes.empty()) << ReadText(m_log);
            }
            stops.push_back(TimedStop(service.Get()));
            EXPECT_LE(stops.back(), STOP_LIMIT_MS) << "stop " << i + 1;
            EXPECT_EQ(Count(ReadText(m_log), SUMMARY), static_cast<size_t>(i + 1)) << ReadText(m_log);
            host.Leave();
        }
    }
    std::vector<DWORD> sorted = stops;
    std::sort(sorted.begin(), sorted.end());
    std::printf("service stop times (control to STOPPED): idle after a visit %lu, host streaming %lu, idle %lu ms;"
                " median %lu ms\n", stops[0], stops[1], stops[2], sorted[STOPS_MEASURED / 2]);
    EXPECT_NE(ReadText(m_log).find("channel 2: visits 1, delivered "), std::string::npos) << ReadText(m_log);
    EXPECT_NE(ReadText(m_log).find("channel 5: visits 1, delivered "), std::string::npos) << ReadText(m_log);

    std::string output;
    EXPECT_EQ(RunFeeder({"--remove-service"}, &output), 0u) << output;
    ScHandle gone(OpenService());
    EXPECT_EQ(gone.Get(), nullptr) << "the service is still there after --remove-service";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(FeederService, ACommandInTheMapIsRefusedAtInstallSayingWhyAndHowToAllowIt)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n4 = cmd:C:\\tools\\capture.exe --stdout\n");
    std::string output;
    EXPECT_EQ(RunFeeder({"--install-service", "--map", m_map}, &output), 2u) << output;
    EXPECT_NE(output.find("channel 4 runs a program (cmd:)"), std::string::npos) << output;
    EXPECT_NE(output.find("--allow-commands"), std::string::npos) << output;
    ScHandle service(OpenService());
    EXPECT_EQ(service.Get(), nullptr) << "a refused install registered the service";

    EXPECT_TRUE(Install({"--allow-commands"})) << "allowed, the same map installs";
}

TEST_F(FeederService, ASecondInstallIsRefusedWithWhatToDo)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    std::string output;
    ASSERT_TRUE(Install());
    EXPECT_EQ(RunFeeder({"--install-service", "--map", m_map}, &output), 5u) << output;
    EXPECT_NE(output.find("already installed"), std::string::npos) << output;
    EXPECT_NE(output.find("--remove-service"), std::string::npos) << output;
}

TEST_F(FeederService, ANamedAccountWithoutAPasswordToReadIsRefusedAndRegistersNothing)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    std::string output;
    EXPECT_EQ(RunFeeder({"--install-service", "--service-account", ".\\zelmoorfeed", "--map", m_map}, &output), 2u)
        << output;
    EXPECT_NE(output.find("no password for .\\zelmoorfeed could be read"), std::string::npos) << output;
    ScHandle service(OpenService());
    EXPECT_EQ(service.Get(), nullptr) << "an install without its password registered the service";
}

TEST_F(FeederService, AMapMissingAtStartIsWaitedForWhileRunningAndLoadedOnceItAppears)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    ASSERT_TRUE(Install());
    const std::string saved = m_folder + "\\saved.txt";
    ASSERT_TRUE(MoveFileA(m_map.c_str(), saved.c_str()));
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr);
    ASSERT_TRUE(Start(service.Get()));
    ASSERT_TRUE(LogHolds(WAITING + m_map));
    ASSERT_TRUE(MoveFileA(saved.c_str(), m_map.c_str())) << "the map appears whole, in one rename";
    EXPECT_TRUE(LogHolds("channel 1: watching for a host"));
    SERVICE_STATUS status = {};
    EXPECT_EQ(ServiceState(service.Get(), &status), static_cast<DWORD>(SERVICE_RUNNING));
    TimedStop(service.Get());
    // Stopped while still waiting, it stops at once, and as a stop, not a failure.
    ASSERT_TRUE(DeleteFileA(m_map.c_str()));
    ASSERT_TRUE(Start(service.Get()));
    ASSERT_TRUE(WaitUntil([&] { return Count(ReadText(m_log), WAITING) == 2; }, LOG_LINE_DEADLINE_MS));
    EXPECT_LE(TimedStop(service.Get()), STOP_LIMIT_MS);
    ServiceState(service.Get(), &status);
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
}

TEST_F(FeederService, EveryMapIsCheckedAtInstallNotOnlyTheLastAndARefusalRegistersNothing)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    const std::string piped = m_folder + "\\piped.txt";
    std::ofstream(piped, std::ios::binary) << "2 = file:C:\\rec\\b.ts\n";
    std::string output;
    EXPECT_EQ(RunFeeder({"--install-service", "--map", "-", "--map", m_map}, &output, piped), 2u) << output;
    EXPECT_NE(output.find("a service has no standard input"), std::string::npos) << output;
    ScHandle service(OpenService());
    EXPECT_EQ(service.Get(), nullptr) << "a refused install registered the service";
}

TEST_F(FeederService, AMapThatGainedACommandSinceTheInstallKeepsTheServiceFromStarting)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    ASSERT_TRUE(Install());
    WriteMap("1 = file:C:\\rec\\a.ts\n7 = cmd:C:\\tools\\capture.exe\n");
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr);
    ASSERT_TRUE(StartServiceW(service.Get(), 0, NULL)) << GetLastError();
    SERVICE_STATUS status = {};
    ASSERT_TRUE(WaitForState(service.Get(), SERVICE_STOPPED, &status));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 2u);
    EXPECT_TRUE(LogHolds("not started: " + m_map + " line 2: channel 7 runs a program (cmd:)"));
}

TEST_F(FeederService, AMapChangeThatBringsInACommandIsRefusedWholeWhileTheServiceKeepsItsMap)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    ASSERT_TRUE(Install());
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr);
    ASSERT_TRUE(Start(service.Get()));
    // The refused map also changes channel 1: refused as a whole, none of it is taken.
    WriteMap("1 = file:C:\\rec\\b.ts\n7 = cmd:C:\\tools\\capture.exe\n");
    EXPECT_TRUE(LogHolds(m_map + ": refused: " + m_map + " line 2: channel 7 runs a program (cmd:)"));
    // A later change without a command is taken: the watch goes on after a refusal.
    WriteMap("1 = file:C:\\rec\\a.ts\n3 = file:C:\\rec\\c.ts\n");
    EXPECT_TRUE(LogHolds("channel 3: added by "));
    SERVICE_STATUS status = {};
    EXPECT_EQ(ServiceState(service.Get(), &status), static_cast<DWORD>(SERVICE_RUNNING));
    TimedStop(service.Get());
    const std::string log = ReadText(m_log);
    EXPECT_EQ(log.find("channel 7: added"), std::string::npos) << log;
    EXPECT_EQ(log.find("channel 1: changed"), std::string::npos) << "the refused map switched channel 1:\n" << log;
}

TEST_F(FeederService, NeitherURLCredentialsNorTheAccountPasswordReachTheLogOrTheStoredCommandLine)
{
    WriteMap(std::string("3 = http://viewer:") + URL_SECRET + "@" + NOTHING_LISTENS + "/x.ts\n");
    const std::string passwordFile = m_folder + "\\password.txt";
    std::ofstream(passwordFile, std::ios::binary) << ACCOUNT_PASSWORD << "\r\n";
    ASSERT_TRUE(Install({"--service-account", ".\\zelmoorfeed"}, passwordFile));
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr);
    ASSERT_TRUE(Start(service.Get()));
    SwitchingHost host;
    ASSERT_TRUE(host.Load()) << host.Error();
    ASSERT_TRUE(host.Select(3)) << host.Error();
    EXPECT_TRUE(LogHolds("channel 3: source down"));
    host.Leave();
    TimedStop(service.Get());

    const std::string log = ReadText(m_log);
    EXPECT_NE(log.find("http://viewer:***@"), std::string::npos) << log;
    EXPECT_NE(log.find(SUMMARY), std::string::npos) << log;
    EXPECT_EQ(log.find(URL_SECRET), std::string::npos) << log;
    EXPECT_EQ(log.find(ACCOUNT_PASSWORD), std::string::npos) << log;

    std::vector<uint8_t> buffer(CONFIG_BYTES);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigW(service.Get(), config, CONFIG_BYTES, &needed)) << GetLastError();
    const std::string stored = Narrow(config->lpBinaryPathName);
    EXPECT_NE(stored.find("--service"), std::string::npos) << stored;
    EXPECT_EQ(stored.find(ACCOUNT_PASSWORD), std::string::npos) << stored;
    EXPECT_EQ(Narrow(config->lpServiceStartName), ".\\zelmoorfeed");
}

TEST_F(FeederService, ItIsRegisteredToStartWithTheSystemAndToBeRestartedIfItDiesOrEndsWithAnError)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    FeederOptions options;
    bool unreadable = false;
    ASSERT_EQ(ParseFeederOptions({"--install-service", "--map", m_map}, &options, &unreadable).kind, ParseOutcome::RUN);
    {
        IatPatch change(GetModuleHandleW(NULL), "advapi32.dll", "ChangeServiceConfig2W",
                        reinterpret_cast<void*>(RecordingChangeConfig2));
        ASSERT_TRUE(change.Applied());
        g_changeConfig2 = change.Original();
        const ServiceOutcome installed = InstallService(options, ServiceAccount{}, PROGRAM);
        ASSERT_TRUE(installed.ok) << installed.message;
    }
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr);
    std::vector<uint8_t> buffer(CONFIG_BYTES);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigW(service.Get(), config, CONFIG_BYTES, &needed)) << GetLastError();
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(Narrow(config->lpDisplayName), "Zelmoor feeder");
    ASSERT_FALSE(g_askedActions.empty()) << "no restart asked for";
    for (size_t i = 0; i < g_askedActions.size(); ++i)
        EXPECT_EQ(g_askedActions[i].Type, SC_ACTION_RESTART) << "action " << i;
    EXPECT_TRUE(g_askedOnErrorExit) << "the restarts apply to crashes only, not to an exit with an error code";
}

TEST_F(FeederService, AnInstallIsRefusedAndRegistersNothingWhenOthersMayChangeTheMapItsFolderOrTheLogsFolder)
{
    const std::string logFolder = m_folder + "\\logs";
    ASSERT_TRUE(CreateDirectoryA(logFolder.c_str(), NULL));
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    const std::vector<std::string> install = {"--install-service", "--map", m_map, "--log", logFolder + "\\f.log"};
    std::string output;
    ASSERT_EQ(RunFeeder(install, &output), 0u) << "admin-only to begin with:\n" << output;
    RemoveService();
    // Each case is checked before the one already made: the map's folder, the map, the log's folder.
    for (const std::string& path : {logFolder, m_map, m_folder}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(LetEveryoneChange(path));
        EXPECT_EQ(RunFeeder(install, &output), 5u) << output;
        std::printf("%s", output.c_str());
        EXPECT_NE(output.find("not installed: "), std::string::npos) << output;
        EXPECT_NE(output.find(path + (path == m_map ? "" : " (which holds ")), std::string::npos) << output;
        EXPECT_NE(output.find(" can be changed by Everyone, "), std::string::npos) << output;
        EXPECT_NE(output.find("icacls \"" + path + "\" /inheritance:r /grant:r"), std::string::npos) << output;
        ScHandle service(OpenService());
        EXPECT_EQ(service.Get(), nullptr) << "a refused install registered the service";
    }
}

TEST_F(FeederService, AMapOthersMayChangeIsNotLoadedOnReloadNorAtStartButAConsoleRunTakesIt)
{
    WriteMap("1 = file:C:\\rec\\a.ts\n");
    ASSERT_TRUE(Install());
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr);
    ASSERT_TRUE(Start(service.Get()));
    ASSERT_TRUE(LetEveryoneChange(m_folder));
    WriteMap("1 = file:C:\\rec\\a.ts\n3 = file:C:\\rec\\c.ts\n");
    const std::string refusal = "the folder " + m_folder + " (which holds the map file " + m_map
                              + ") can be changed by Everyone";
    EXPECT_TRUE(LogHolds(m_map + ": refused: " + refusal));
    SERVICE_STATUS status = {};
    EXPECT_EQ(ServiceState(service.Get(), &status), static_cast<DWORD>(SERVICE_RUNNING));
    TimedStop(service.Get());
    EXPECT_EQ(ReadText(m_log).find("channel 3: added"), std::string::npos) << ReadText(m_log);

    ASSERT_TRUE(StartServiceW(service.Get(), 0, NULL)) << GetLastError();
    bool shownRunning = false;
    ASSERT_TRUE(WaitUntil([&] {
        const DWORD state = ServiceState(service.Get(), &status);
        shownRunning = shownRunning || state == SERVICE_RUNNING;
        return state == SERVICE_STOPPED;
    }, SERVICE_STATE_DEADLINE_MS));
    EXPECT_FALSE(shownRunning) << "a start refused by its checks was reported running first";
    EXPECT_EQ(status.dwServiceSpecificExitCode, 5u);
    EXPECT_TRUE(LogHolds("not started: " + refusal));

    FeederChild console;
    ASSERT_TRUE(console.Start({"--map", m_map, "--seconds", "1"}));
    EXPECT_EQ(console.Wait(INSTALL_DEADLINE_MS), 0u) << console.Output();
}

TEST(FeederLog, AnUnwritableLogIsSaidOnceOnStandardErrorWhileTheChannelsGoOn)
{
    const std::string a = StreamPath("clip_a.ts");
    const std::vector<uint8_t> fileA = ReadWholeFile(a);
    const std::string log = TempFolder() + "\\feeder.log";
    ASSERT_TRUE(CreateDirectoryA(log.c_str(), NULL)) << "a folder in the log's place";
    SwitchingHost host;
    ASSERT_TRUE(host.Load()) << host.Error();
    FeederChild feeder;
    ASSERT_TRUE(feeder.Start({"--log", log, "--seconds", LOGGED_RUN_SECONDS, "3=file:" + a + "?pace=none"}));
    ASSERT_TRUE(feeder.WaitForOutput("channel 3: watching"));
    ASSERT_TRUE(host.Select(3)) << host.Error();
    const Recording got = host.Drain(VISIT_LIMIT_SECONDS, [&](const Recording& r) { return r.bytes.size() >= fileA.size(); });
    host.Leave();
    EXPECT_TRUE(got.bytes == fileA) << got.bytes.size() << " bytes against the file's " << fileA.size();
    EXPECT_EQ(feeder.Wait(INSTALL_DEADLINE_MS), 0u) << feeder.Output();
    const std::string output = feeder.Output();
    EXPECT_EQ(Count(output, "cannot open the log " + log), 1u) << output;
    EXPECT_NE(output.find(SUMMARY), std::string::npos) << output;
}

} // namespace
