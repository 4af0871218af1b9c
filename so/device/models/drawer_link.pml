/* The drawer link: a model of the port mutex and of everything that uses the
 * drawer's port under it, with a drawer that misbehaves at any moment:
 * - QueryDrawerState (so/device/DrawerExchange.cpp), with SendStatusRequest,
 *   ReadStatusReply and OpenPort (so/device/CashDrawerChannel.cpp) and ClosePort
 *   (so/service/CashDrawer.cpp);
 * - the status monitor, MonitorStatus (so/device/StatusMonitor.cpp), with its
 *   own reopen, ReconnectDroppedPort, in the AUTORECONNECT build;
 * - ReopenDroppedPort, OpenDrawer and WaitForDrawerClose (so/device/DrawerCommands.cpp);
 * - m_hPortMutex, m_bReopenPort, m_nExchanges, m_nLastAnswer, m_bLastAnswerOpen
 *   and the DrawerOpened property (so/service/CashDrawer.h).
 * A change to any of these needs the same change here.
 *
 * The device is enabled with the port open when the model starts; the monitor
 * makes NPOLL polls, the application NCALLS calls, the drawer NENV changes.
 * Left out: enabling, disabling, Release and Close, which stop the monitor
 * (so/events/models/worker_stop.pml checks the stop), and the event queue
 * past QueueStatusUpdate (so/events/models/event_delivery.pml), and the
 * monitor's power reports (ReportPower: a change of PowerState and its event
 * after each exchange, answered or not, under no lock). Time is
 * nondeterminism: the 10 s without an answer after which a wait gives up may
 * have passed after any of its unanswered polls. The beeps and the pacing of
 * the wait's polls change nothing here and are left out. A wait still open
 * after KPOLLS polls is cut off there (the application is left waiting; the
 * cut is the model's horizon, no result).
 *
 * The drawer: a successful open-drawer command opens it, and at any step it
 * may be opened or closed by hand; the line may go silent (requests are
 * written but never answered) or answer again; the cable may be pulled (the
 * port does not open, writes fail, nothing answers) or put back. A handle
 * opened before the cable was pulled may stay dead after it is put back (a
 * USB adapter) or work again (a plain serial cable); both are left open.
 *
 * Checks: no invalid end state (deadlock); the assertions:
 * 1. DrawerOpened is written only under the port mutex, and changes only by
 *    an answered exchange or by the start of a wait;
 * 2. a wait returns 0 only after the drawer answered "closed" to an exchange
 *    begun after the wait began, and DrawerOpened is then 0;
 * 3. the monitor queues an event only for an answered exchange whose value
 *    differs from the monitor's previous answered one;
 * 4. OpenDrawer writes only to an open port, opened after the last drop;
 * 5. one open attempt at a time: every reopen holds the mutex (OpenDrawer's,
 *    the wait's and, in the AUTORECONNECT build, the monitor's).
 *
 * Built with -DOLD it is the monitor and the wait before the exchange stored
 * its answers: an unanswered poll gave back the caller's last known value and
 * the monitor stored that in DrawerOpened; the wait handed DrawerOpened to its
 * polls as the last known value, stored whatever came back and ended on the
 * first "closed". That version must fail: the drawer is closed, OpenDrawer
 * opens it and the line goes silent; the wait sets DrawerOpened to 1, the
 * monitor's unanswered poll stores its own previous value, 0, the wait's next
 * unanswered poll is given that 0 back and the wait reports the open drawer
 * closed. pan meets check 1 (the monitor's store) or check 2 (the wait's end).
 */

#ifndef NPOLL
#define NPOLL 3
#endif
#ifndef NCALLS
#define NCALLS 2
#endif
#ifndef NENV
#define NENV 2
#endif
#ifndef KPOLLS
#define KPOLLS 2
#endif

#define NOHARDWARE 107
#define FAILURE    111

/* the drawer and its line */
bool drawerOpen;                   /* the drawer as it is */
bool silent;                       /* requests go unanswered, writes succeed */
bool unplugged;                    /* nothing opens, nothing is written, nothing answers */
bool stale;                        /* the open handle died with the cable */

/* under the port mutex */
byte holder;                       /* m_hPortMutex: 0, or the holder's _pid + 1 */
bool portOpen = true;              /* m_serialPort.IsOpen() */
bool reopen;                       /* m_bReopenPort */
byte seq;                          /* m_nExchanges */
byte lastSeq;                      /* m_nLastAnswer */
bool lastOpen;                     /* m_bLastAnswerOpen */
bool drawerOpened;                 /* the DrawerOpened property */

/* ghosts */
byte portGen = 1, dropGen;         /* the port's opens so far; portGen at the last drop */
byte opening;                      /* threads inside an open attempt */
byte closedSeq;                    /* the latest exchange answered "closed" */
byte monPid;                       /* the monitor's _pid */
byte monSeq;                       /* the monitor's latest answered exchange */
bool monVal, monPrev;              /* its value, and that of the one before */
bool lastEvent;                    /* the last event queued; starts as the monitor's first previous */
byte changedBy;                    /* what changes DrawerOpened (only set inside SetOpened) */

#define SRC_ANSWER     0
#define SRC_WAITSTART  1
#define SRC_UNANSWERED 2

inline Lock() { atomic { holder == 0 -> holder = _pid + 1 } }
inline Unlock() { assert(holder == _pid + 1); holder = 0 }

/* Every write of DrawerOpened goes through here. */
inline SetOpened(v, src) {
#ifndef OLD
    assert(holder == _pid + 1);    /* the old code wrote it outside the mutex */
#endif
    if
    :: v != drawerOpened -> d_step { changedBy = src; assert(changedBy != SRC_UNANSWERED); changedBy = 0 }
    :: else
    fi;
    drawerOpened = v
}

inline ClosePort() {
    portOpen = false;
    dropGen = portGen
}

/* OpenPort: fails while the cable is out. */
inline TryOpen(ok) {
    opening++;
    assert(opening == 1 && holder == _pid + 1);
    if
    :: unplugged -> ok = false
    :: else -> portOpen = true; portGen++; stale = false; reopen = false; ok = true
    fi;
    opening--
}

/* ReopenDroppedPort; the caller holds the mutex. */
inline ReopenStep(ok) {
    assert(holder == _pid + 1);
    if
    :: !reopen -> ok = true
    :: reopen && portOpen -> reopen = false; ok = true
    :: reopen && !portOpen -> TryOpen(ok)
    fi
}

/* QueryDrawerState: one exchange, made one step. Everything it reads or
 * writes but the drawer is under the mutex, and a change of the drawer while
 * it runs is the same as one just before or after it. In the old version an
 * unanswered exchange gives back lastKnown and nothing is stored under the mutex. */
inline Query(ans, val, my, lastKnown) {
    atomic {
        Lock();
        seq++;
        my = seq;
        /* write the request, then read the reply */
        if
        :: !portOpen || unplugged || stale || silent -> ans = false
        :: else -> ans = true; val = drawerOpen
        fi;
        if
        :: ans ->
#ifndef OLD
           SetOpened(val, SRC_ANSWER);
#endif
           lastSeq = my;
           lastOpen = val;
           if
           :: !val -> closedSeq = my
           :: else
           fi;
           if
           :: _pid == monPid -> monPrev = monVal; monVal = val; monSeq = my
           :: else
           fi
        :: else ->
           val = lastKnown;
           reopen = true;
           ClosePort()
        fi;
        Unlock()
    }
}

proctype monitor(bool previous) {
    byte n;
    bool ans, cur, ok;
    byte my;
    monVal = previous;
    do
    :: n < NPOLL ->
       n++;
#ifdef AUTORECONNECT
       /* the flag is looked at without the mutex, then again under it */
       if
       :: reopen -> Lock(); ReopenStep(ok); Unlock()
       :: else
       fi;
#endif
       Query(ans, cur, my, previous);
#ifdef OLD
       if
       :: ans -> SetOpened(cur, SRC_ANSWER)
       :: else -> SetOpened(cur, SRC_UNANSWERED)
       fi;
#endif
       if
       :: cur != previous ->
          /* QueueStatusUpdate, after the mutex is let go */
          assert(ans && monSeq == my && cur == monVal && cur != monPrev && cur != lastEvent);
          lastEvent = cur
       :: else
       fi;
       if
       :: ans -> previous = cur
       :: else -> assert(cur == previous)
       fi;
       d_step { ans = false; cur = false; ok = false; my = 0 }   /* nothing is carried to the next cycle */
    :: n >= NPOLL -> break
    od
}

inline OpenDrawer() {
    Lock();
    ReopenStep(ok);
    if
    :: !ok -> result = NOHARDWARE
    :: ok && !portOpen -> result = NOHARDWARE  /* not reached: a closed port always waits for a reopen */
    :: ok && portOpen ->
       assert(portGen > dropGen);
       if
       :: !unplugged && !stale -> drawerOpen = true; result = 0
       :: unplugged || stale ->
          if
          :: result = NOHARDWARE
          :: result = FAILURE
          fi;
          ClosePort();
          reopen = true
       fi
    fi;
    Unlock()
}

inline WaitForDrawerClose() {
    atomic {
        Lock();
        SetOpened(true, SRC_WAITSTART);
        startSeq = seq + 1;
        Unlock()
    };
    polls = 0;
    do
    :: polls < KPOLLS ->
       polls++;
#ifdef OLD
       known = drawerOpened;
       Query(ans, v, my, known);
       if
       :: ans -> SetOpened(v, SRC_ANSWER)
       :: else -> SetOpened(v, SRC_UNANSWERED)
       fi;
#else
       Query(ans, v, my, false);               /* the value is not used: the wait looks at the last answer */
#endif
       if
       :: !ans -> Lock(); ReopenStep(ok); Unlock()
       :: else
       fi;
#ifdef OLD
       closedSeen = !v;
#else
       atomic {
           Lock();
           closedSeen = lastSeq >= startSeq && !lastOpen;
           assert(!closedSeen || !drawerOpened);
           Unlock()
       };
#endif
       if
       :: closedSeen ->
          assert(closedSeq >= startSeq);
          result = 0;
          break
       :: else
       fi;
#ifndef OLD
       if
       :: !ans -> result = NOHARDWARE; break   /* 10 s without an answer of its own */
       :: skip
       fi
#endif
    :: polls >= KPOLLS -> break                 /* the model's horizon */
    od
}

proctype application() {
    byte calls, result;
    bool ok, ans, v, known, closedSeen;
    byte my, startSeq, polls;
    do
    :: calls < NCALLS ->
       calls++;
       if
       :: OpenDrawer()
       :: WaitForDrawerClose()
       fi;
       atomic {                                 /* nothing is carried to the next call */
           result = 0; ok = false; ans = false; v = false; known = false;
           closedSeen = false; my = 0; startSeq = 0; polls = 0
       }
    :: break
    od
}

proctype drawer() {
    byte n;
    do
    :: n < NENV ->
       n++;
       if
       :: drawerOpen = !drawerOpen
       :: silent = !silent
       :: !unplugged -> unplugged = true; stale = portOpen
       :: unplugged ->
          unplugged = false;
          if
          :: stale = false
          :: skip
          fi
       fi
    :: n >= NENV -> break
    od
}

init {
    atomic {
        monPid = run monitor(drawerOpened);
        run application();
        run drawer()
    }
}
