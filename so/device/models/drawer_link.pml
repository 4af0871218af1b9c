/* The drawer link: a model of CDrawerLink (so/device/DrawerLink.{h,cpp}), which owns the drawer's
 * port, the port mutex, the reopen flag, the exchange numbering and the last answer, and of what
 * uses the port through it, with a drawer that misbehaves at any moment:
 * - CDrawerLink: OpenLocked and OpenTarget (the enable's and the claim's opens), QueryDrawerState
 *   (the purge, the request, the reads), WriteOpenCommand with ReopenLocked, BeginWait,
 *   AnsweredClosedSince, Drop, and Reconnect, the monitor's reopen;
 * - CSerialPort::OpenConfigured (so/device/SerialPort.cpp): an open that does not finish setting
 *   up the port closes it again;
 * - CPortOpener (so/device/PortOpener.{h,cpp}): Reconnect's open, on a thread of its own and
 *   outside the mutex; the last of the opener and the monitor to let go of it closes a port
 *   nobody took;
 * - CStatusMonitor (so/device/StatusMonitor.{h,cpp}): Run, ReportPower and RestartPowerReporting
 *   under m_powerLock, Start and Stop;
 * - WaitForClose (so/device/DrawerWait.cpp);
 * - the entry points that use them: EnableDevice, OpenDrawer and WaitForDrawerClose
 *   (so/service/DrawerEntryPoints.cpp), Claim and Release (so/service/CashDrawer.cpp);
 * - the DrawerOpened and PowerState properties.
 * A change to any of these needs the same change here.
 *
 * Builds. The device is enabled, not claimed, with its port open when the model starts; a
 * monitor makes NPOLL polls and then only waits for its stop, the application makes NCALLS calls
 * (OpenDrawer, WaitForDrawerClose), the drawer NENV changes.
 * - AUTORECONNECT: a site with AutoReconnect and an application with PowerNotify on: the monitor
 *   reopens a dropped port itself (Reconnect) and reports power, and the application may also
 *   enable the enabled device again (RestartPowerReporting).
 * - LIFECYCLE: the application may also disable, enable, Claim and Release. A stop asks the
 *   monitor to end and waits for it; the port is then closed as the entry point says. A claim is
 *   one attempt (the next is the same attempt again).
 * An exchange, an open-drawer command (reopen and write in one hold of the mutex) and an
 * OpenTarget (its attempts back to back in one hold) are each one step: everything they read or
 * write but the drawer is under the mutex, and a change of the drawer while one runs is the same
 * as one just before or after it.
 *
 * The drawer: a successful open-drawer command opens it, and at any step it may be opened or
 * closed by hand; the line may go silent (requests are written but never answered) or answer
 * again; the cable may be pulled (the port does not open, writes fail, nothing answers) or put
 * back. A handle opened before the cable was pulled may stay dead after it is put back (a USB
 * adapter) or work again (a plain serial cable); both are left open. Up to NLATE replies come
 * late: once their exchange gave up. The byte waits in the receive buffer, which here outlives
 * the handle (an adapter's or a virtual port's buffer does), until a purge empties it or a read
 * takes it; it lands before the next exchange, the worst case for a purge made at the start of
 * each exchange. Up to NCFG opens fail to set the port up after CreateFileW succeeded. An open of
 * a device another handle holds (the link's, an opener's) fails on Windows and succeeds on Wine
 * and some virtual port drivers: both are left open.
 *
 * Left out: the event queue past QueueStatusUpdate (so/events/models/event_delivery.pml); the
 * time a stop takes and the forced end (so/events/models/worker_stop.pml); Close, which stops and
 * drops as Release and disabling do; calls made from inside a claim's message pump; a byte that
 * lands between an exchange's purge and its reads (no byte says which request it answers: it is
 * taken for the answer); a driver that refuses to purge (its input is read empty instead, and a
 * port whose input cannot be emptied is an exchange without answer, as a silent line is); the
 * beeps and the pacing of the wait's polls; exceptions (an opener
 * that could not start is a reopen that failed). Time is nondeterminism: the 10 s after which a
 * wait may give up may have passed after any of its unanswered polls, and it gives up only after
 * SILENT_POLLS of them in a row (reached only with KPOLLS >= 3). A wait still open after KPOLLS
 * polls is cut off there (the model's horizon, no result).
 *
 * Checks: no invalid end state (deadlock); the assertions:
 * 1. DrawerOpened is written only under the port mutex, and changes only by an answered exchange
 *    or by the start of a wait;
 * 2. a wait returns 0 only after the drawer answered "closed" to an exchange begun after the wait
 *    began (closedSince), and DrawerOpened is then 0;
 * 3. a monitor queues a drawer event only for an answered exchange whose value differs from its
 *    previous answered one;
 * 4. a write (status request or open-drawer command) goes only to a port that finished its set-up
 *    and waits for no reopen (configured), the command only to one opened after the last drop;
 * 5. every answer read is the drawer's reply to the request just written (rxSeq);
 * 6. a power event is queued only for a change from what the application last saw: the last
 *    power event, or unknown after its own enable (powerSeen), so no change is reported twice;
 * 7. the opens: the link opens only under the mutex and never over a held handle; an opener's
 *    port is taken only under the mutex, by a link without a port that waits for a reopen; an
 *    enable or a claim never finds a port held, and an enabled or claimed device has its port
 *    open or waiting for a reopen; a claim of a device enabled without a claim touches nothing.
 *
 * Negatives, each an old fault, which must fail:
 * -DOLD: the monitor and the wait before the exchange stored its answers: an unanswered poll gave
 *  back the caller's last known value and the monitor stored that in DrawerOpened; the wait
 *  handed DrawerOpened to its polls as the last known value, stored whatever came back and ended
 *  on the first "closed". The drawer is closed, OpenDrawer opens it and the line goes silent; the
 *  wait sets DrawerOpened to 1, the monitor's unanswered poll stores its own previous value, 0,
 *  the wait's next unanswered poll is given that 0 back and the wait reports the open drawer
 *  closed. pan meets check 1 (the monitor's store) or check 2 (the wait's end).
 * -DOLD_HALFOPEN: an open whose GetCommState, SetCommState or time-outs failed kept its handle,
 *  and a reopen took an open port for a reopened one: the next exchange or command writes on a
 *  line never set up, and the command reports success. Fails check 4.
 * -DOLD_UNPURGED: nothing emptied the receive buffer before a request: a late byte of an earlier
 *  exchange is read as the answer to a later one (a "closed" sent before a wait began can end
 *  it). Fails check 5.
 * -DOLD_POWER (with AUTORECONNECT): no power lock: an enable of the enabled device sets PowerState
 *  to unknown between the monitor's exchange of PowerState and its event, the event still goes
 *  out, and the next report of the same state is queued again. Fails check 6.
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
#ifndef NLATE
#define NLATE 1
#endif
#ifndef NCFG
#define NCFG 1
#endif
#define NOPENER 2                  /* opener slots: one monitor's own and one left behind */
#define ENABLE_ATTEMPTS 5          /* kEnableOpenAttempts */
#define SILENT_POLLS 3             /* kSilentPollsLimit */

#define SUCCESS    0
#define NOHARDWARE 107
#define FAILURE    111

#define PS_UNKNOWN 0               /* OPOS_PS_UNKNOWN, 2000 */
#define PS_ONLINE  1               /* OPOS_PS_ONLINE, 2001 */
#define PS_OFF     2               /* OPOS_PS_OFF_OFFLINE, 2004 */

/* the drawer and its line */
bool drawerOpen;                   /* the drawer as it is */
bool silent;                       /* requests go unanswered, writes succeed */
bool unplugged;                    /* nothing opens, nothing is written, nothing answers */
bool stale;                        /* the link's open handle died with the cable */
bool rxFull;                       /* a status byte waits in the receive buffer */
bool rxVal;                        /* what it says */
byte rxSeq;                        /* ghost: the exchange it answers */
bool late;                         /* the reply to the exchange under way comes too late */
byte nLate, cfgFails;              /* late replies and failed set-ups so far */

/* CDrawerLink, under the port mutex */
byte holder;                       /* m_hPortMutex: 0, or the holder's _pid + 1 */
bool portOpen = true;              /* m_serialPort.IsOpen() */
bool configured = true;            /* ghost: the open port's line settings and time-outs are set */
bool reopen;                       /* m_bReopenPort */
byte seq;                          /* m_nExchanges */
byte lastSeq;                      /* m_nLastAnswer */
bool lastOpen;                     /* m_bLastAnswerOpen */
bool drawerOpened;                 /* the DrawerOpened property */

/* CPortOpener blocks: opDone is m_evDone; opHolds: the block holds an open handle */
bool opDone[NOPENER], opOpened[NOPENER], opHolds[NOPENER], opStale[NOPENER];
bool opThreadOut[NOPENER], opMonOut[NOPENER];   /* the thread's and the monitor's shares are gone */
bool opBusy[NOPENER];                           /* the slot is in use */

/* CStatusMonitor */
bool monAlive = true;              /* its thread has not ended (COPOSThread::IsRunning) */
bool stopReq;                      /* m_bStop and m_evStopRequest */
byte powerState;                   /* the PowerState property */
byte powerHolder;                  /* m_powerLock: 0, or the holder's _pid + 1 */

/* the entry points */
bool devEnabled = true, devClaimed;

/* ghosts */
byte portGen = 1, dropGen;         /* the port's opens so far; portGen at the last drop */
byte waitFirst;                    /* the first exchange the wait under way may trust; 0: no wait */
bool closedSince;                  /* the drawer answered "closed" to an exchange numbered from waitFirst */
byte monPid;                       /* the running monitor's _pid */
bool monAnswered;                  /* the monitor's exchange of this cycle was answered */
bool monVal, monPrev;              /* its value, and that of the one before */
bool lastEvent;                    /* the last drawer event queued; starts as the monitor's first previous */
byte changedBy;                    /* what changes DrawerOpened (only set inside SetOpened) */
byte powerSeen;                    /* the power state the application last saw */

#define SRC_ANSWER     0
#define SRC_WAITSTART  1
#define SRC_UNANSWERED 2

/* CreateFileW asks for the device alone: while a handle holds it, Windows refuses it; Wine does not,
 * nor do some virtual port drivers. Both are left open: an open of a held device may fail or succeed. */
#define Held (portOpen || opHolds[0] || opHolds[1])

inline Lock() { atomic { holder == 0 -> holder = _pid + 1 } }
inline Unlock() { assert(holder == _pid + 1); holder = 0 }

/* Every write of DrawerOpened goes through here. */
inline SetOpened(v, src) {
#ifndef OLD
    assert(holder == _pid + 1);    /* -DOLD wrote it outside the mutex */
#endif
    if
    :: v != drawerOpened -> d_step { changedBy = src; assert(changedBy != SRC_UNANSWERED); changedBy = 0 }
    :: else
    fi;
    drawerOpened = v
}

/* DropLocked: closes the port, if open. */
inline ClosePort(forReopen) {
    if
    :: portOpen -> portOpen = false; configured = false; dropGen = portGen
    :: else
    fi;
    if
    :: forReopen -> reopen = true
    :: else
    fi
}

/* A write on the link's port (the status request, the open-drawer command). */
inline CheckWrite() {
    assert(configured && !reopen)
}

/* OpenLocked: one open of the target; the caller holds the mutex. */
inline LinkOpen(ok) {
    assert(holder == _pid + 1);
    ok = false;
    if
    :: portOpen                                   /* never replace or reuse a held handle */
    :: !portOpen && (unplugged || Held)           /* CreateFileW fails */
    :: !portOpen && !unplugged ->
       if
       :: cfgFails < NCFG ->                      /* CreateFileW succeeded, the set-up failed */
          cfgFails++;
#ifdef OLD_HALFOPEN
          portOpen = true; portGen++; stale = false /* the handle stayed, half set up */
#endif
       :: true ->
          portOpen = true; configured = true; portGen++; stale = false;
          reopen = false; ok = true
       fi
    fi
}

/* ReopenLocked; the caller holds the mutex. */
inline ReopenStep(ok) {
    assert(holder == _pid + 1);
    if
    :: !reopen -> ok = true
#ifdef OLD_HALFOPEN
    :: reopen && portOpen -> reopen = false; ok = true  /* took an open port as reopened */
    :: reopen && !portOpen -> LinkOpen(ok)
#else
    :: reopen -> LinkOpen(ok)
#endif
    fi
}

/* QueryDrawerState, one step. Built with -DOLD an unanswered exchange gives back lastKnown and
 * nothing is stored under the mutex. */
inline Query(ans, val, my, lastKnown) {
    atomic {
        Lock();
        seq++;
        my = seq;
        ans = false;
#ifndef OLD_UNPURGED
        if
        :: portOpen -> rxFull = false; rxVal = false; rxSeq = 0   /* PurgeInput */
        :: else
        fi;
#endif
        if
        :: portOpen && !unplugged && !stale ->    /* the request is written */
           CheckWrite();
           if
           :: !silent -> rxFull = true; rxVal = drawerOpen; rxSeq = my   /* the reply, in time */
           :: !silent && nLate < NLATE -> nLate++; late = true           /* the reply, too late */
           :: silent
           fi;
           /* the reads */
           if
           :: rxFull ->
              ans = true; val = rxVal; assert(rxSeq == my);
              if
              :: !val && waitFirst > 0 && rxSeq >= waitFirst -> closedSince = true  /* the exchange the drawer really answered */
              :: else
              fi;
              rxFull = false; rxVal = false; rxSeq = 0
           :: else
           fi;
           if
           :: late ->                             /* it lands once the reads gave up */
              rxFull = true; rxVal = drawerOpen; rxSeq = my; late = false
           :: else
           fi
        :: else                                   /* not written: no port, or a dead one */
        fi;
        if
        :: ans ->
#ifndef OLD
           SetOpened(val, SRC_ANSWER);
#endif
           lastSeq = my;
           lastOpen = val;
           if
           :: _pid == monPid -> monPrev = monVal; monVal = val; monAnswered = true
           :: else
           fi
        :: else ->
           val = lastKnown;
           ClosePort(true)
        fi;
        Unlock()
    }
}

/* CPortOpener::ThreadProc: OpenConfigured off the mutex; then Done, and its share goes (one step:
 * only a few instructions apart); the last share out closes a port nobody took. */
proctype opener(byte k) {
    atomic {
        if
        :: unplugged || Held -> opOpened[k] = false
        :: !unplugged ->
           if
           :: cfgFails < NCFG -> cfgFails++; opOpened[k] = false  /* OpenConfigured closed it again */
           :: true -> opOpened[k] = true; opHolds[k] = true; opStale[k] = false
           fi
        fi
    };
    atomic {
        opDone[k] = true;
        opThreadOut[k] = true;
        if
        :: opMonOut[k] -> opHolds[k] = false; opBusy[k] = false
        :: else
        fi
    }
}

/* The monitor lets its share go: Reconnect returns. */
inline ReleaseOpener(k) {
    atomic {
        opMonOut[k] = true;
        if
        :: opThreadOut[k] -> opHolds[k] = false; opBusy[k] = false
        :: else
        fi
    }
}

/* CDrawerLink::Reconnect. The flag is looked at without the mutex first, then under it; only
 * the second look decides, so the model makes only that one. The wait for the opener ends at once
 * on the stop request (Done wins when both are set). */
inline Reconnect() {
    atomic {
        Lock();
        if
        :: reopen ->
           Unlock();
           /* CPortOpener::Start */
           if
           :: !opBusy[0] -> op = 1
           :: else -> assert(!opBusy[1]); op = 2
           fi;
           opBusy[op - 1] = true; opDone[op - 1] = false; opOpened[op - 1] = false;
           opThreadOut[op - 1] = false; opMonOut[op - 1] = false;
           run opener(op - 1)
        :: else -> Unlock()
        fi
    };
    if
    :: op > 0 ->
       atomic {
           stopReq || opDone[op - 1] ->
           if
           :: opDone[op - 1] && opOpened[op - 1] ->
              Lock();
              if
              :: !reopen || portOpen              /* another path opened it: ours goes with the opener */
              :: else ->
                 assert(!portOpen && reopen && opHolds[op - 1]);
                 opHolds[op - 1] = false;         /* TakeFrom */
                 portOpen = true; configured = true; portGen++; stale = opStale[op - 1];
                 reopen = false
              fi;
              Unlock()
           :: else                                /* no port, or stopped: the opener finishes alone */
           fi;
           ReleaseOpener(op - 1);
           op = 0
       }
    :: else
    fi
}

/* CStatusMonitor::ReportPower, once per exchange, answered or not; the power lock makes the
 * change of PowerState and its event one step for RestartPowerReporting. */
inline ReportPower(online) {
#ifdef OLD_POWER
    atomic {
        if :: online -> ps = PS_ONLINE :: else -> ps = PS_OFF fi;
        changed = powerState != ps; powerState = ps
    };
    atomic {
#else
    atomic {
        powerHolder == 0 -> powerHolder = _pid + 1;
        if :: online -> ps = PS_ONLINE :: else -> ps = PS_OFF fi;
        changed = powerState != ps; powerState = ps;
#endif
        if
        :: changed ->                             /* QueueStatusUpdate */
           assert(ps != powerSeen);
           powerSeen = ps
        :: else
        fi;
        powerHolder = 0;
        changed = false; ps = 0
    }
}

proctype monitor(bool previous) {
    byte n, my, op, ps;                          /* op: the opener's slot + 1, or 0 */
    bool ans, cur, changed;
    d_step { monPid = _pid; monVal = previous; monPrev = previous; lastEvent = previous };
    do
    :: n < NPOLL ->
       n++;
#ifdef AUTORECONNECT
       Reconnect();
       if
       :: stopReq -> break
       :: else
       fi;
#endif
       Query(ans, cur, my, previous);
#ifdef AUTORECONNECT
       ReportPower(ans);                        /* power first, as Run does */
#endif
       atomic {
#ifdef OLD
           if
           :: ans -> SetOpened(cur, SRC_ANSWER)
           :: else -> SetOpened(cur, SRC_UNANSWERED)
           fi;
#endif
           if
           :: cur != previous ->
              /* QueueStatusUpdate, after the mutex is let go */
              assert(ans && monAnswered && cur == monVal && cur != monPrev && cur != lastEvent);
              lastEvent = cur
           :: else
           fi;
           if
           :: ans -> previous = cur
           :: else -> assert(cur == previous)
           fi;
           ans = false; cur = false; my = 0; monAnswered = false;   /* nothing is carried to the next cycle */
           if                                   /* WaitForStop(kPollPauseMs) */
           :: stopReq -> break
           :: else
           fi
       }
    :: n >= NPOLL -> break
    od;
end_idle:
    stopReq;                                     /* past the horizon a monitor only waits for its stop */
    monAlive = false
}

/* WriteOpenCommand: the reopen and the write in one hold of the mutex, made one step like an
 * exchange. */
inline OpenDrawer() {
    atomic {
        Lock();
        ReopenStep(ok);
        if
        :: !ok -> result = NOHARDWARE
        :: ok && !portOpen -> assert(false)       /* not reached: a closed port always waits for a reopen */
        :: ok && portOpen ->
           assert(portGen > dropGen);
           if
           :: !unplugged && !stale -> CheckWrite(); drawerOpen = true; result = SUCCESS
           :: unplugged || stale ->
              if
              :: result = NOHARDWARE
              :: result = FAILURE
              fi;
              ClosePort(true)
           fi
        fi;
        Unlock()
    }
}

inline WaitForDrawerClose() {
    atomic {                                     /* BeginWait */
        Lock();
        SetOpened(true, SRC_WAITSTART);
        startSeq = seq + 1;
        waitFirst = startSeq; closedSince = false;
        Unlock();
        polls = 0;
        silentPolls = 0
    };
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
       closedSeen = !v;
       if
       :: closedSeen -> assert(closedSince); result = SUCCESS; break
       :: else
       fi
#else
       Query(ans, v, my, true);                  /* the value is not used: the wait looks at the last answer */
       atomic {
           Lock();                               /* AnsweredClosedSince */
           if
           :: !ans -> ReopenStep(ok)
           :: else
           fi;
           closedSeen = lastSeq >= startSeq && !lastOpen;
           assert(!closedSeen || !drawerOpened);
           Unlock();
           if
           :: closedSeen -> assert(closedSince); result = SUCCESS; break
           :: else
           fi;
#if KPOLLS >= SILENT_POLLS
           if
           :: ans -> silentPolls = 0
           :: else ->
              silentPolls++;
              if
              :: silentPolls >= SILENT_POLLS -> result = NOHARDWARE; break   /* and 10 s without an answer */
              :: skip
              fi
           fi;
#endif
           ans = false; v = false; my = 0
       }
#endif
    :: polls >= KPOLLS -> break                  /* the model's horizon */
    od
}

/* CStatusMonitor::Stop: the request, then the wait for the thread's end. */
inline StopMonitor() {
    if
    :: monAlive ->
       stopReq = true;
       !monAlive;
       stopReq = false
    :: else
    fi
}

/* CStatusMonitor::Start: PowerState unknown before the thread runs. */
inline StartMonitor() {
    atomic {
        assert(!monAlive && !stopReq);
        powerState = PS_UNKNOWN;
        powerSeen = PS_UNKNOWN;
        monAlive = true;
        run monitor(drawerOpened)
    }
}

/* OpenTarget(attempts): back to back under one hold of the mutex. Whoever opens here finds
 * neither an enabled nor a claimed device, so no held port. */
inline OpenTarget(attempts, ok) {
    atomic {
        Lock();
        assert(!portOpen);
        i = 0;
        ok = false;
        do
        :: i < attempts && !ok -> i++; LinkOpen(ok)
        :: else -> break
        od;
        Unlock();
        i = 0
    }
}

inline Drop() {
    atomic { Lock(); ClosePort(false); Unlock() }
}

proctype application() {
    byte calls, result, i;
    bool ok, ans, v, known, closedSeen;
    byte my, startSeq, polls, silentPolls;
    do
    :: calls < NCALLS ->
       calls++;
       if
       :: devEnabled -> OpenDrawer()
       :: devEnabled -> WaitForDrawerClose()
#ifdef AUTORECONNECT
       :: devEnabled ->                              /* EnableDevice(true) on an enabled device */
          assert(monAlive);
#ifdef OLD_POWER
          atomic { powerState = PS_UNKNOWN; powerSeen = PS_UNKNOWN }
#else
          atomic {
              powerHolder == 0 -> powerHolder = _pid + 1;
              powerState = PS_UNKNOWN; powerSeen = PS_UNKNOWN;
              powerHolder = 0
          }
#endif
#endif
#ifdef LIFECYCLE
       :: devEnabled ->                              /* EnableDevice(false) */
          StopMonitor();
          if
          :: !devClaimed -> Drop()
          :: else
          fi;
          devEnabled = false
       :: !devEnabled ->                             /* EnableDevice(true) */
          ok = true;
          if
          :: !devClaimed -> OpenTarget(ENABLE_ATTEMPTS, ok)
          :: else
          fi;
          if
          :: ok -> StartMonitor(); devEnabled = true
          :: else -> result = FAILURE
          fi
       :: !devClaimed ->                             /* Claim */
          if
          :: devEnabled -> result = FAILURE          /* enabled without a claim: nothing is touched */
          :: else ->
             OpenTarget(1, ok);
             devClaimed = ok
          fi
       :: devClaimed ->                              /* Release */
          StopMonitor();
          devEnabled = false;
          Drop();
          devClaimed = false
#endif
       fi;
       atomic {
           /* an enabled or claimed device has its port, or waits for a reopen */
           assert(!(devEnabled || devClaimed) || portOpen || reopen);
           /* nothing is carried to the next call */
           result = 0; ok = false; ans = false; v = false; known = false;
           closedSeen = false; my = 0; startSeq = 0; polls = 0; silentPolls = 0;
           waitFirst = 0; closedSince = false
       }
    :: break
    od
}

proctype drawer() {
    byte n;
    do
    :: atomic {
           n < NENV ->
           n++;
           if
           :: drawerOpen = !drawerOpen
           :: silent = !silent
           :: !unplugged -> unplugged = true; stale = portOpen; opStale[0] = opHolds[0]; opStale[1] = opHolds[1]
           :: unplugged ->
              unplugged = false;
              if
              :: stale = false; opStale[0] = false; opStale[1] = false
              :: skip
              fi
           fi
       }
    :: n >= NENV -> break
    od
}

init {
    atomic {
        run monitor(drawerOpened);
        run application();
        run drawer()
    }
}
