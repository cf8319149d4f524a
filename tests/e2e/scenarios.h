// Every scenario, by the file that holds it. A scenario is one fresh start of
// tovira.exe in its own folder, checked from outside; it reports through
// check() and say() (harness.h). A new one goes into its area's file, here,
// and into the table in e2e_driver.cpp at the place where it should run.
#pragma once

namespace e2e {

// startup_window.cpp: start-up and the window.
void firstStartQuitSave();
void loadingNotice();
void nulTexts();
void alwaysOnTop();
void menuMinimize();
void reachablePanel();
void readOnlyFolder();

// second_start.cpp: a second start, at 200 % on a short screen.
void secondStartScaled();

// ivac_handover.cpp: the handover in IvAc.
void clickTypes();
void clickKeyWait();
void clickWithoutIvAc();
void noClickNoKeys();
void doubleClickLate();
void keysOnlyToIvac();
void modifierHeld();
void pressDuringTyping();
void shiftTabInWait();

// ivac_outcomes.cpp: what the user is told of a handover in IvAc.
void handoverOutcomes();

// aurora_handover.cpp: the handover in Aurora.
void auroraHandover();
void auroraNothingSelected();
void auroraError();
void auroraOff();
void auroraSilent();
void auroraBacklog();
void auroraWithIvac();
void auroraSlowList();

// aurora_panel.cpp: the panel's second source, Aurora's stations (an extension).
void auroraPanel();
void printAuroraPanelFigures();  // in the summary

// network_stations.cpp: the staffed stations and the current feed.
void staffedStations();
void feedOverHttps();
void feedUntrusted();
void feedThroughProxy();
void feedOversized();
void feedPlainLarge();

// network_hostile.cpp: silent and hostile servers, the URL fetch's bounds.
void silentServer();
void closeDuringDownload();
void hostilePeers();
void fetchBounds();
void helperCannotStart();

// screenshots.cpp: the pictures and the demo's helpers.
void screenshots();
int clickStation(int slot);  // --click-station SLOT
int closeTovira();           // --close-tovira

}  // namespace e2e
