Attribute VB_Name = "modDailyReport"
'------------------------------------------------------------------
' modDailyReport - the list of today's orders, written as CSV for the
' sales office.
'------------------------------------------------------------------
Option Explicit

Public Function WriteDailyReport(ByVal FileName As String, ByVal ReportDate As Date) As Long
    Dim Rs As ADODB.Recordset
    Dim hFile As Integer
    Dim Count As Long

    Set Rs = RunQuery("SELECT o.OrderNo, c.CompanyName, o.Total FROM Orders o " & _
                      "JOIN Customers c ON c.CustomerNo = o.CustomerNo WHERE o.OrderDate = ? " & _
                      "ORDER BY o.OrderNo", ReportDate)
    hFile = FreeFile
    Open FileName For Output As #hFile
    Print #hFile, "OrderNo;Customer;Total"
    Do While Not Rs.EOF
        Print #hFile, Rs!OrderNo & ";" & QuoteCsv(Rs!CompanyName & "") & ";" & Format$(Rs!Total, "0.00")
        Count = Count + 1
        Rs.MoveNext
    Loop
    Close #hFile
    Rs.Close

    LogMessage "Daily report for " & Format$(ReportDate, "yyyy-mm-dd") & ": " & Count & " orders", llInfo
    WriteDailyReport = Count
End Function
