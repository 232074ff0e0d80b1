Attribute VB_Name = "modOldReport"
'------------------------------------------------------------------
' modOldReport - the printed report of release 1. Kept for reference
' only; no longer part of the project and left out of the code load.
'------------------------------------------------------------------
Option Explicit

Public Sub PrintOldReport()
    Printer.Print "ORDER DESK - DAILY ORDERS"
    Printer.Print String$(40, "-")
    Printer.EndDoc
    LogMessage "Old report printed", llWarning
End Sub
