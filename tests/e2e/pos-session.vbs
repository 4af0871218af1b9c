' A short POS session through our Control Object as a script client makes it:
' late binding, and every variable passed by reference as a VARIANT. Every
' property the standard gives a cash drawer is read, every method called.
'   cscript //nologo pos-session.vbs [device]     (device: VX-CDUSB by default)
' The drawer must close by itself after it opens (the virtual drawer's
' AUTOCLOSE). Exits 0 when every step answered as expected; otherwise names
' the step and exits 1.
Option Explicit
' Wine's cscript ends at an uncaught error silently, with exit code 0.
On Error Resume Next

Const kPollSeconds = 20

Dim device, co, data, text, started, value
device = "VX-CDUSB"
If WScript.Arguments.Count > 0 Then device = WScript.Arguments(0)

Sub Fail(message)
    WScript.Echo "session FAILED: " & message
    WScript.Quit 1
End Sub

' After each call: no Automation error, and the ResultCode expected.
Sub Expect(what, code)
    Check what
    If co.ResultCode <> code Then Fail what & ": ResultCode " & co.ResultCode & ", expected " & code
End Sub

Sub Check(what)
    If Err.Number <> 0 Then Fail what & ": error " & Err.Number & " " & Err.Description
End Sub

' Reads every property; none may fail. (Wine's Eval is a stub: one line each.)
Sub ReadEveryProperty(phase)
    value = co.BinaryConversion: Check "BinaryConversion " & phase
    value = co.CapCompareFirmwareVersion: Check "CapCompareFirmwareVersion " & phase
    value = co.CapPowerReporting: Check "CapPowerReporting " & phase
    value = co.CapStatisticsReporting: Check "CapStatisticsReporting " & phase
    value = co.CapUpdateFirmware: Check "CapUpdateFirmware " & phase
    value = co.CapUpdateStatistics: Check "CapUpdateStatistics " & phase
    value = co.CheckHealthText: Check "CheckHealthText " & phase
    value = co.Claimed: Check "Claimed " & phase
    value = co.ControlObjectDescription: Check "ControlObjectDescription " & phase
    value = co.ControlObjectVersion: Check "ControlObjectVersion " & phase
    value = co.DeviceDescription: Check "DeviceDescription " & phase
    value = co.DeviceEnabled: Check "DeviceEnabled " & phase
    value = co.DeviceName: Check "DeviceName " & phase
    value = co.FreezeEvents: Check "FreezeEvents " & phase
    value = co.OpenResult: Check "OpenResult " & phase
    value = co.PowerNotify: Check "PowerNotify " & phase
    value = co.PowerState: Check "PowerState " & phase
    value = co.ResultCode: Check "ResultCode " & phase
    value = co.ResultCodeExtended: Check "ResultCodeExtended " & phase
    value = co.ServiceObjectDescription: Check "ServiceObjectDescription " & phase
    value = co.ServiceObjectVersion: Check "ServiceObjectVersion " & phase
    value = co.State: Check "State " & phase
    value = co.CapStatus: Check "CapStatus " & phase
    value = co.CapStatusMultiDrawerDetect: Check "CapStatusMultiDrawerDetect " & phase
    value = co.DrawerOpened: Check "DrawerOpened " & phase
End Sub

Function SecondsSince(t)
    SecondsSince = Timer - t
    If SecondsSince < 0 Then SecondsSince = SecondsSince + 86400 ' past midnight
End Function

Set co = CreateObject("OPOS.CashDrawer")
If Err.Number <> 0 Then Fail "CreateObject: error " & Err.Number & " " & Err.Description

ReadEveryProperty "while closed"
If co.State <> 1 Or co.ControlObjectVersion < 1011000 Then Fail "closed: State " & co.State & ", version " & co.ControlObjectVersion
co.Open device
Expect "Open", 0
If co.OpenResult <> 0 Then Fail "OpenResult " & co.OpenResult
co.Claim 1000
Expect "Claim", 0
co.ReleaseDevice
Expect "ReleaseDevice", 0
co.ClaimDevice 1000
Expect "ClaimDevice", 0
co.BinaryConversion = 0
Expect "BinaryConversion", 0
co.PowerNotify = 0
Expect "PowerNotify", 0
co.DeviceEnabled = True
Expect "DeviceEnabled", 0
ReadEveryProperty "while enabled"
If Not co.Claimed Or co.DeviceName = "" Then Fail "Claimed " & co.Claimed & ", DeviceName " & co.DeviceName

co.OpenDrawer
Expect "OpenDrawer", 0
started = Timer
Do Until co.DrawerOpened
    If Err.Number <> 0 Then Fail "DrawerOpened: error " & Err.Number & " " & Err.Description
    If SecondsSince(started) > kPollSeconds Then Fail "DrawerOpened still False after " & kPollSeconds & " s"
Loop

' The service supports these in form only: 106 (illegal) is their answer.
co.CheckHealth 1
Expect "CheckHealth", 106
co.RetrieveStatistics text
Expect "RetrieveStatistics", 0
If TypeName(text) <> "String" Or Left(text, 5) <> "<?xml" Then Fail "RetrieveStatistics gave " & TypeName(text)
data = 0
text = ""
co.DirectIO 1, data, text
Expect "DirectIO", 106
If TypeName(data) <> "Long" Then Fail "DirectIO left data as " & TypeName(data)
' Neither statistics updates nor firmware are supported by the service: 106.
co.ResetStatistics ""
Expect "ResetStatistics", 106
co.UpdateStatistics ""
Expect "UpdateStatistics", 106
co.CompareFirmwareVersion "firmware.bin", data
Expect "CompareFirmwareVersion", 106
co.UpdateFirmware "firmware.bin"
Expect "UpdateFirmware", 106

co.WaitForDrawerClose 60000, 1000, 100, 500
Expect "WaitForDrawerClose", 0
If co.DrawerOpened Then Fail "the drawer is still open after WaitForDrawerClose"

co.ReleaseDevice
Expect "ReleaseDevice", 0
co.Close
Expect "Close", 0
WScript.Echo "session passed"
WScript.Quit 0
