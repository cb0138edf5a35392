alter table USUARIO add DESATIVADO char(1);
create table USUARIO_LOG (
  ID integer not null,
  USUARIOID integer,
  MODULOID integer,
  DATA date,
  HORA time,
  TABLEID integer,
  FORMNAME varchar(128),
  TELA varchar(255),
  LOG varchar(255),
  constraint PK_USUARIO_LOG primary key (ID),
  constraint FK_USUARIO_LOG_USUARIO foreign key (USUARIOID) references USUARIO (ID) on update cascade on delete cascade
);
create generator GEN_USUARIO_LOG_ID;
commit work;
set term ^ ;
create trigger TG_USUARIO_LOG for USUARIO_LOG
active before insert position 0
as
begin
  if (new.ID is null) then
    new.ID = gen_id(GEN_USUARIO_LOG_ID, 1);
  select current_date, current_time from rdb$database
    into new.DATA, new.HORA;
end^
set term ; ^
update VERSAO set NUMERO = '1.05' where ID = 1;
commit work;
