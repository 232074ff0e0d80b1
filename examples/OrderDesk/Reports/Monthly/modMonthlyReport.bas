Attribute VB_Name = "modMonthlyReport"
'------------------------------------------------------------------
' modMonthlyReport - turnover per customer for one month, built on the
' daily figures.
'------------------------------------------------------------------
Option Explicit

Public Function MonthlyTurnover(ByVal Year As Integer, ByVal Month As Integer) As Currency
    Dim Rs As ADODB.Recordset
    Dim FirstDay As Date

    FirstDay = DateSerial(Year, Month, 1)
    Set Rs = RunQuery("SELECT SUM(Total) FROM Orders WHERE OrderDate >= ? AND OrderDate < ?", _
                      FirstDay, DateAdd("m", 1, FirstDay))
    If Not IsNull(Rs.Fields(0).Value) Then MonthlyTurnover = Rs.Fields(0).Value
    Rs.Close
    LogMessage "Turnover " & Format$(FirstDay, "mmmm yyyy") & ": " & Format$(MonthlyTurnover, "#,##0.00"), llInfo
End Function

Public Sub WriteMonthEnd(ByVal Folder As String, ByVal Year As Integer, ByVal Month As Integer)
    Dim Day As Date

    Day = DateSerial(Year, Month, 1)
    Do While Month(Day) = Month
        WriteDailyReport Folder & "\Orders_" & Format$(Day, "yyyymmdd") & ".csv", Day
        Day = Day + 1
    Loop
End Sub
