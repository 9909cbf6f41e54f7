unit StockData;

interface

uses
  SysUtils, Classes, DB, DBTables, RxQuery, Wwstorprc, MemTable, IBDatabase;

type
  { The stock kept in a BDE database; the cache is a BDE memory table. }
  TStockDM = class(TDataModule)
    StockDatabase: TDatabase;
    ItemsQuery: TRxQuery;
    ItemsSource: TDataSource;
    PricesQuery: TRxQuery;
    RecountProc: TwwStoredProc;
    Cache: TMemoryTable;
    Archive: TIBDatabase;
    procedure Prepare(const Filter: string);
  end;

var
  StockDM: TStockDM;

implementation

{$R *.dfm}

procedure TStockDM.Prepare(const Filter: string);
var
  Extra: TRxQuery;
begin
  ItemsQuery.RequestLive := True;
  ItemsQuery.SQL.Clear;
  Extra := TRxQuery.Create(Self);
  Extra.DatabaseName := 'STOCK'; { Extra.RequestLive stays as it is }
  Extra.Open;
  with PricesQuery do
  begin
    RequestLive := False;
    DataSource := ItemsSource;
    Close;
  end;
  with PricesQuery do RequestLive := True;
  with RecountProc do StoredProcName := 'RECOUNT';
  with Cache do DatabaseName := 'CACHE';
  StockDatabase.Params.Values['USER NAME'] := 'keeper';
  Session.NetFileDir := 'C:\Stock';
end;

end.
